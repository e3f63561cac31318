// The download window, in GTK widgets painted with the frame's colours:
// a light-to-deep blue band with the title and "clear finished", then one
// row per download, newest first. A screen reader finds each row and its
// progress bar named by the file (the bar's value, the labels' texts and
// the buttons are GTK's own). Not yet: the rows as a list of items.
#include "download_window.h"

#include <algorithm>

#include "downloads.h"
#include "gtk_platform.h"

namespace gtkplat {
namespace {

void NameAccessible(GtkWidget* widget, const std::string& name) {
  AtkObject* accessible = gtk_widget_get_accessible(widget);
  const char* now = atk_object_get_name(accessible);
  if (!now || name != now) atk_object_set_name(accessible, name.c_str());
}

// The frame's own colours: its blues, and the labels' dark ink.
constexpr char kStyle[] = R"css(
.kivo-downloads { background: #ffffff; }
.kivo-band { background-image: linear-gradient(to bottom, #d6f4ff, #4ca2e8); padding: 8px 12px; }
.kivo-title { color: #124e8c; font-weight: bold; font-size: 110%; }
.kivo-row { border-bottom: 1px solid #d6f4ff; padding: 8px 12px; }
.kivo-name { color: #121236; font-weight: bold; }
.kivo-status { color: #124e8c; }
.kivo-failed { color: #b00000; }
.kivo-empty { color: #7d8fa8; padding: 24px; }
.kivo-downloads progressbar trough { background: #d6f4ff; min-height: 8px; border: none; border-radius: 4px; }
.kivo-downloads progressbar progress { background: #3b97e1; min-height: 8px; border: none; border-radius: 4px; }
.kivo-downloads button { background: #2495cf; background-image: none; color: #ffffff; border: none;
                         border-radius: 3px; box-shadow: none; text-shadow: none; padding: 2px 10px; }
.kivo-downloads button:hover { background: #15a3cf; }
.kivo-downloads button label { color: #ffffff; }
)css";

enum Action { kCancel = 1, kOpen, kFolder, kClear, kSend };

GtkWidget* Button(const char* text, int id, Action action, gpointer self, GCallback callback) {
  GtkWidget* button = gtk_button_new_with_label(text);
  g_object_set_data(G_OBJECT(button), "kivo-id", GINT_TO_POINTER(id));
  g_object_set_data(G_OBJECT(button), "kivo-action", GINT_TO_POINTER(action));
  gtk_widget_set_can_focus(button, TRUE);
  g_signal_connect(button, "clicked", callback, self);
  return button;
}

void Style(GtkWidget* widget, const char* cls) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), cls);
}

}  // namespace

DownloadWindow::DownloadWindow(GtkDownloads& downloads)
    : downloads_(downloads), window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
  g_object_ref_sink(window_);
  gtk_window_set_title(GTK_WINDOW(window_), "下载 - Kivo手机电影下载器");
  gtk_window_set_default_size(GTK_WINDOW(window_), 520, 360);
  gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
  Style(window_, "kivo-downloads");
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* band = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  Style(band, "kivo-band");
  GtkWidget* title = gtk_label_new("下载列表");
  Style(title, "kivo-title");
  gtk_box_pack_start(GTK_BOX(band), title, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(band), Button("清除已结束的", 0, kClear, this, G_CALLBACK(OnButton)),
                   FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), band, FALSE, FALSE, 0);

  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  rows_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  empty_ = gtk_label_new("没有下载");
  Style(empty_, "kivo-empty");
  gtk_box_pack_start(GTK_BOX(rows_), empty_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(scroll), rows_);
  gtk_box_pack_start(GTK_BOX(page), scroll, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), page);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);

  downloads_.List().Changed = [this](int id) { Changed(id); };
  for (const forms::Download& d : downloads_.List().Items()) Update(d.id);
}

DownloadWindow::~DownloadWindow() {
  downloads_.List().Changed = nullptr;
  if (flush_) g_source_remove(flush_);
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
    g_object_unref(window_);
  }
}

void DownloadWindow::OnDestroy(GtkWidget*, DownloadWindow* self) {
  // Its rows went with it; the list keeps every download.
  g_signal_handlers_disconnect_by_data(self->window_, self);
  g_object_unref(self->window_);
  self->window_ = nullptr;
  self->shown_.clear();
  if (self->flush_) g_source_remove(self->flush_);
  self->flush_ = 0;
  self->downloads_.List().Changed = nullptr;
}

void DownloadWindow::Present(GtkWindow* over) {
  if (!window_) return;
  // Kept above the main window, which comes back to the front when the
  // file chooser closes; let go while the main window is hidden in the tray
  // (a window manager forgets whose the window is then), so the list stands
  // on its own meanwhile and is made the main window's again when it next
  // shows.
  if (over) {
    if (gtk_window_get_transient_for(GTK_WINDOW(window_)) != over) {
      gtk_window_set_transient_for(GTK_WINDOW(window_), over);
    }
    if (g_object_get_data(G_OBJECT(over), "kivo-list-above") != window_) {
      g_object_set_data(G_OBJECT(over), "kivo-list-above", window_);
      g_signal_connect_object(over, "unmap", G_CALLBACK(OnOwnerHidden), window_, GConnectFlags(0));
    }
  }
  if (!gtk_widget_get_visible(window_)) {
    if (over) PlaceBeside(over);
    gtk_widget_show_all(window_);
  } else if (GdkWindow* shown = gtk_widget_get_window(window_)) {
    gdk_window_raise(shown);  // to the front, the keyboard left where it is
  }
  for (auto& [id, row] : shown_) Update(id);
}

bool FrameAndWorkArea(GtkWindow* window, GdkRectangle* frame, GdkRectangle* workArea) {
  GdkWindow* shown = window ? gtk_widget_get_window(GTK_WIDGET(window)) : nullptr;
  if (!shown) return false;
  gdk_window_get_frame_extents(shown, frame);
  GdkMonitor* monitor = gdk_display_get_monitor_at_window(gdk_window_get_display(shown), shown);
  if (!monitor) return false;
  gdk_monitor_get_workarea(monitor, workArea);
  return true;
}

void DownloadWindow::OnOwnerHidden(GtkWidget* owner, GtkWidget* list) {
  if (gtk_window_get_transient_for(GTK_WINDOW(list)) == GTK_WINDOW(owner)) {
    gtk_window_set_transient_for(GTK_WINDOW(list), nullptr);
  }
}

void DownloadWindow::PlaceBeside(GtkWindow* over) {
  // Beside the main window where the screen has room for it, else in the
  // work area's bottom right corner: either way off the middle of the page.
  // (A Wayland compositor places windows itself and ignores this.)
  GdkRectangle frame{};
  GdkRectangle area{};
  if (!FrameAndWorkArea(over, &frame, &area)) return;
  int w = 0;
  int h = 0;
  gtk_window_get_default_size(GTK_WINDOW(window_), &w, &h);
  int x = frame.x + frame.width + kWindowGap;
  int y = frame.y + frame.height - h - kTitleBar;
  if (x + w > area.x + area.width) {
    x = area.x + area.width - w - kWindowGap;
    y = area.y + area.height - h - kTitleBar - kWindowGap;
  }
  gtk_window_move(GTK_WINDOW(window_), std::max(area.x, x), std::max(area.y, y));
}

DownloadWindow::Row DownloadWindow::MakeRow(int id) {
  Row row{};
  row.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  Style(row.box, "kivo-row");
  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  row.name = gtk_label_new("");
  gtk_label_set_ellipsize(GTK_LABEL(row.name), PANGO_ELLIPSIZE_MIDDLE);
  gtk_label_set_xalign(GTK_LABEL(row.name), 0);
  Style(row.name, "kivo-name");
  gtk_box_pack_start(GTK_BOX(top), row.name, TRUE, TRUE, 0);
  const GCallback clicked = G_CALLBACK(OnButton);
  row.send = Button("发送到手机", id, kSend, this, clicked);
  row.folder = Button("打开文件夹", id, kFolder, this, clicked);
  row.open = Button("打开", id, kOpen, this, clicked);
  row.cancel = Button("取消", id, kCancel, this, clicked);
  for (GtkWidget* button : {row.send, row.folder, row.open, row.cancel}) {
    gtk_widget_set_no_show_all(button, TRUE);
    gtk_box_pack_end(GTK_BOX(top), button, FALSE, FALSE, 0);
  }
  row.bar = gtk_progress_bar_new();
  row.status = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(row.status), 0);
  Style(row.status, "kivo-status");
  gtk_box_pack_start(GTK_BOX(row.box), top, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row.box), row.bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row.box), row.status, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(rows_), row.box, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(rows_), row.box, 0);  // newest first
  gtk_widget_show_all(row.box);
  return row;
}

void DownloadWindow::Update(int id) {
  const forms::Download* d = downloads_.List().Find(id);
  auto it = shown_.find(id);
  if (!d) {
    if (it != shown_.end()) {
      gtk_widget_destroy(it->second.box);
      shown_.erase(it);
    }
  } else {
    if (it == shown_.end()) it = shown_.emplace(id, MakeRow(id)).first;
    const Row& row = it->second;
    using forms::DownloadList;
    using forms::DownloadState;
    gtk_label_set_text(GTK_LABEL(row.name), d->name.c_str());
    NameAccessible(row.box, d->name);
    NameAccessible(row.bar, d->name);
    const std::string where = d->target.empty() ? d->url : d->target.string();
    gtk_widget_set_tooltip_text(row.name, where.c_str());
    const double fraction = DownloadList::Fraction(*d);
    if (fraction >= 0) {
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(row.bar), fraction);
    } else if (d->state == DownloadState::kRunning) {
      gtk_progress_bar_pulse(GTK_PROGRESS_BAR(row.bar));
    }
    gtk_widget_set_visible(row.bar, d->state == DownloadState::kRunning ||
                                        d->state == DownloadState::kAsking ||
                                        d->state == DownloadState::kDone);
    gtk_label_set_text(GTK_LABEL(row.status), DownloadList::StatusText(*d).c_str());
    gtk_widget_set_tooltip_text(row.status, d->detail.empty() ? nullptr : d->detail.c_str());
    GtkStyleContext* status = gtk_widget_get_style_context(row.status);
    if (d->state == DownloadState::kFailed) {
      gtk_style_context_add_class(status, "kivo-failed");
    } else {
      gtk_style_context_remove_class(status, "kivo-failed");
    }
    const bool live = d->state == DownloadState::kRunning || d->state == DownloadState::kAsking;
    gtk_widget_set_visible(row.cancel, live);
    gtk_widget_set_visible(row.open, d->state == DownloadState::kDone);
    gtk_widget_set_visible(row.folder, d->state == DownloadState::kDone);
    gtk_widget_set_visible(row.send, d->state == DownloadState::kDone);
  }
  gtk_widget_set_visible(empty_, shown_.empty());
}

void DownloadWindow::Changed(int id) {
  if (!window_) return;
  if (id == 0) {
    all_ = true;
  } else {
    dirty_[id] = true;
  }
  // A download's end shows at once; its progress at the next tick.
  const forms::Download* d = id ? downloads_.List().Find(id) : nullptr;
  if (d && d->state != forms::DownloadState::kRunning) {
    Flush(this);
    return;
  }
  if (!flush_) flush_ = g_timeout_add(100, &OnTick, this);
}

gboolean DownloadWindow::OnTick(gpointer data) {
  auto* self = static_cast<DownloadWindow*>(data);
  self->flush_ = 0;
  Flush(self);
  return G_SOURCE_REMOVE;
}

void DownloadWindow::Flush(DownloadWindow* self) {
  if (self->flush_) {
    g_source_remove(self->flush_);
    self->flush_ = 0;
  }
  Guarded([&] {
    if (self->all_) {
      self->all_ = false;
      std::map<int, bool> ids = std::move(self->dirty_);
      for (auto& [id, row] : self->shown_) ids[id] = true;
      for (const forms::Download& d : self->downloads_.List().Items()) ids[d.id] = true;
      for (auto& [id, unused] : ids) self->Update(id);
    } else {
      std::map<int, bool> ids = std::move(self->dirty_);
      for (auto& [id, unused] : ids) self->Update(id);
    }
    self->dirty_.clear();
  });
}

void DownloadWindow::OnButton(GtkButton* button, DownloadWindow* self) {
  const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kivo-id"));
  const int action = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kivo-action"));
  Guarded([&] {
    switch (action) {
      case kCancel: self->downloads_.List().Cancel(id); break;
      case kOpen: self->downloads_.Open(id); break;
      case kFolder: self->downloads_.ShowInFolder(id); break;
      case kSend: self->downloads_.SendToPhone(id); break;
      case kClear: self->downloads_.List().ClearFinished(); break;
      default: break;
    }
  });
}

gboolean DownloadWindow::OnDelete(GtkWidget* window, GdkEvent*, DownloadWindow*) {
  gtk_widget_hide(window);
  return TRUE;
}

}  // namespace gtkplat
