// Inside the engine module: a view's script dialogs, answered without UI
// (alerts dismissed, confirmations and prompts declined, a page's "leave
// this page?" answered yes) at the pace DialogLimit allows. A dialog kept
// waiting keeps the page's script paused at no cost; it is answered when
// its page goes. Not part of the module's interface.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <vector>

#include "page_limits.h"

namespace gtkplat {

class ScriptDialogs {
 public:
  explicit ScriptDialogs(WebKitWebView* view);
  ~ScriptDialogs();
  ScriptDialogs(const ScriptDialogs&) = delete;
  ScriptDialogs& operator=(const ScriptDialogs&) = delete;

  // The page whose dialogs these were has gone (a new document, its
  // process ended): everything kept waiting is answered now.
  void PageGone();
  // A dialog is kept waiting: the page's process sits in it and takes up
  // nothing else, a navigation included, until it is answered.
  bool Holding() const { return !waiting_.empty(); }

 private:
  struct Waiting {
    WebKitScriptDialog* dialog;
    std::int64_t dueMs;  // kNever: never
  };
  static constexpr std::int64_t kNever = INT64_MAX;

  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, ScriptDialogs* self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, ScriptDialogs* self);
  static void OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, ScriptDialogs* self);
  static gboolean AnswerDue(gpointer data);
  void ArmTimer();

  WebKitWebView* view_;
  DialogLimit limit_;
  std::vector<Waiting> waiting_;
  guint timer_ = 0;
};

}  // namespace gtkplat
