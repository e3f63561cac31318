// Inside the engine module: the page's web process as the engine watches
// it. Whether it still answers (a question it must take up between two
// pieces of script), whether it took up the navigation the frame asked
// for, and how it ended: on purpose (ours) or on its own. Not part of the
// module's interface.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>

namespace gtkplat {

class ProcessWatch {
 public:
  struct Hooks {
    // A navigation was not taken up in time: the process is stuck.
    std::function<void()> stuck;
    // The process ended on its own (crash, kill, memory limit).
    std::function<void()> lost;
  };
  // A navigation that shows nothing of its own within this long is stuck.
  static constexpr guint kNavigationGraceMs = 600;

  ProcessWatch(WebKitWebView* view, Hooks hooks);
  ~ProcessWatch();
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;

  // A process is running the page (none before the first load, nor after
  // one ended).
  bool Live() const { return live_; }
  // The frame asked for a navigation: watched while a process is live.
  void Navigating();
  // Asks the process something it answers between scripts; `answer` gets
  // whether it did within `ms`. A later question replaces this one.
  void Probe(guint ms, std::function<void(bool)> answer);
  // Ends the process on purpose: nothing recovers it.
  void End();

 private:
  void Disarm();
  void Answered(bool answered);
  static void OnProbed(GObject* view, GAsyncResult* result, gpointer data);
  static gboolean ProbeTimedOut(gpointer data);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, ProcessWatch* self);
  static void OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                           ProcessWatch* self);

  WebKitWebView* view_;
  Hooks hooks_;
  bool live_ = false;
  bool navigating_ = false;
  GCancellable* probing_ = nullptr;
  guint probeTimer_ = 0;
  std::function<void(bool)> answer_;
};

}  // namespace gtkplat
