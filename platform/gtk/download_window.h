// The download window: every download of the list in a row (its name, a
// progress bar, its figures or outcome, and its buttons: cancel while it
// runs; open and show in folder once done), in the program's colours.
// Closing it only hides it; the next download shows it again.
#pragma once

#include <gtk/gtk.h>

#include <map>

namespace gtkplat {

class GtkDownloads;

// Where a shown window's frame lies, and the work area of its monitor.
bool FrameAndWorkArea(GtkWindow* window, GdkRectangle* frame, GdkRectangle* workArea);
inline constexpr int kWindowGap = 8;
inline constexpr int kTitleBar = 32;  // a window manager's title bar, about

class DownloadWindow {
 public:
  explicit DownloadWindow(GtkDownloads& downloads);
  ~DownloadWindow();
  DownloadWindow(const DownloadWindow&) = delete;
  DownloadWindow& operator=(const DownloadWindow&) = delete;

  // Shows the window without taking the focus from the chooser or the page,
  // kept above `over` (the main window) when there is one and placed off
  // its page.
  void Present(GtkWindow* over = nullptr);
  GtkWindow* Window() const { return window_ ? GTK_WINDOW(window_) : nullptr; }
  // To the front with the focus, as asked for by the user.
  void Raise() {
    if (window_) gtk_window_present(GTK_WINDOW(window_));
  }
  // The window was destroyed under us (its X window went): a new one is
  // made when next needed.
  bool Gone() const { return window_ == nullptr; }

 private:
  struct Row {
    GtkWidget* box;
    GtkWidget* name;
    GtkWidget* bar;
    GtkWidget* status;
    GtkWidget* cancel;
    GtkWidget* open;
    GtkWidget* folder;
    GtkWidget* send;
  };
  void PlaceBeside(GtkWindow* over);
  static void OnOwnerHidden(GtkWidget* owner, GtkWidget* list);
  Row MakeRow(int id);
  void Update(int id);
  // Changes come in bursts (every few kilobytes); the rows follow at most
  // ten times a second.
  void Changed(int id);
  static void Flush(DownloadWindow* self);
  static gboolean OnTick(gpointer self);
  static void OnButton(GtkButton* button, DownloadWindow* self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, DownloadWindow* self);
  static void OnDestroy(GtkWidget*, DownloadWindow* self);

  GtkDownloads& downloads_;
  GtkWidget* window_;
  GtkWidget* rows_;
  GtkWidget* empty_;
  std::map<int, Row> shown_;
  bool all_ = false;
  guint flush_ = 0;
  std::map<int, bool> dirty_;
};

}  // namespace gtkplat
