// The form's window: created undecorated or with a fixed dialog frame,
// owned, shown, hidden, sized, minimized, maximized and shaped as the model
// says; its size, state and visibility reported back; the window manager's
// move loop started for it and its close request handed to the form. The
// user cannot resize it: in its normal state the window keeps the size the
// program gave it. Its maximize bounds follow the work area of the monitor
// it is on. Not yet: modal forms, centring on the owner.
#include "gtk_form.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>
#include <cmath>

#include "accessible.h"
#include "gtk_controls.h"
#include "icon_sizes.h"
#include "popup_menu.h"
#include "startup_trace.h"
#include "web_view.h"

namespace gtkplat {
namespace {

gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer) {
  TraceOnce("window-mapped");
  return FALSE;
}

// GTK takes a move's starting point in whole window pixels: at a scale of 2
// a press on an odd pixel of the screen would start it half a window pixel
// off, and the window would end a pixel short of the drag. So the window
// manager is asked here, at the screen's own pixel, when it takes the
// request; false leaves the move to GTK.
bool MoveFromScreenPixel(GtkWindow* window, guint button, double rootX, double rootY) {
#ifdef GDK_WINDOWING_X11
  GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(window));
  if (!w || !GDK_IS_X11_WINDOW(w)) return false;
  const int scale = gdk_window_get_scale_factor(w);
  GdkScreen* screen = gdk_window_get_screen(w);
  if (scale <= 1 || !gdk_x11_screen_supports_net_wm_hint(
                        screen, gdk_atom_intern_static_string("_NET_WM_MOVERESIZE"))) {
    return false;
  }
  GdkDisplay* display = gdk_window_get_display(w);
  XClientMessageEvent m{};
  m.type = ClientMessage;
  m.window = GDK_WINDOW_XID(w);
  m.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_WM_MOVERESIZE");
  m.format = 32;
  // The event's root position is the screen's divided by the scale.
  m.data.l[0] = std::lround(rootX * scale);
  m.data.l[1] = std::lround(rootY * scale);
  m.data.l[2] = 8;  // _NET_WM_MOVERESIZE_MOVE
  m.data.l[3] = static_cast<long>(button);
  m.data.l[4] = 1;  // asked by an application
  // The window manager takes the pointer for the move: the press's grab
  // gives it up first.
  gdk_seat_ungrab(gdk_display_get_default_seat(display));
  XSendEvent(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gdk_screen_get_root_window(screen)),
             False, SubstructureRedirectMask | SubstructureNotifyMask,
             reinterpret_cast<XEvent*>(&m));
  return true;
#else
  (void)window, (void)button, (void)rootX, (void)rootY;
  return false;
#endif
}

}  // namespace

GtkFormNative::GtkFormNative(GtkPlatform& platform, forms::Form& form)
    : platform_(platform), form_(form) {
  native_.form = this;
  normalWidth_ = std::max(1, form.ScaleWidth());
  normalHeight_ = std::max(1, form.ScaleHeight());
  font_.reset(pango_font_description_from_string(FontFamily()));
  pango_font_description_set_absolute_size(font_.get(), kFontPx * PANGO_SCALE);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_window_set_title(Window(), form.Caption().c_str());
  gtk_window_set_default_size(Window(), normalWidth_, normalHeight_);
  gtk_widget_set_app_paintable(window_, TRUE);
  if (!form.Design().showInTaskbar) {
    gtk_window_set_skip_taskbar_hint(Window(), TRUE);
    gtk_window_set_skip_pager_hint(Window(), TRUE);
  }

  // Its accessible lists the form's exposed controls.
  root_ = NewAccessibleLayout();
  BindAccessible(root_, nullptr, *this);
  gtk_container_add(GTK_CONTAINER(window_), root_);
  if (Dialog()) {
    ApplyDialogFrame();
  } else {
    gtk_window_set_decorated(Window(), FALSE);
  }
  surface_ = gtk_drawing_area_new();
  gtk_layout_put(GTK_LAYOUT(root_), surface_, 0, 0);
  gtk_widget_set_size_request(surface_, normalWidth_, normalHeight_);
  g_signal_connect(surface_, "draw", G_CALLBACK(OnDrawSurface), this);
  surfaceSource_.form = this;
  surfaceSource_.handle = Handle();
  ConnectPointer(surface_, surfaceSource_);

  g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "realize", G_CALLBACK(OnRealize), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(OnMapped), nullptr);
  ConnectKeyboard();
  gtk_widget_show(root_);
  gtk_widget_show(surface_);
}

GtkFormNative::~GtkFormNative() {
  // A menu still open on this window closes; its loop returns to a caller
  // that no longer finds us.
  AbandonPopup(popup_);
  if (restoreSource_) g_source_remove(restoreSource_);
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(surface_, this);
    DisconnectPointer(surface_, surfaceSource_);
    gtk_widget_destroy(window_);
    g_object_unref(window_);
  }
}

void GtkFormNative::ApplyDialogFrame() {
  // Not resizable: the window is exactly as large as its root asks, which
  // is the design's client area; the window manager's frame comes on top.
  gtk_window_set_resizable(Window(), FALSE);
  gtk_widget_set_size_request(root_, normalWidth_, normalHeight_);
  gtk_window_set_type_hint(Window(), GDK_WINDOW_TYPE_HINT_DIALOG);
}

GtkWidget* GtkFormNative::ContainerWidget(const forms::Control& control) const {
  if (!control.Container()) return root_;
  auto* peer = dynamic_cast<PeerCore*>(control.Container()->Native());
  return peer && peer->Widget() && GTK_IS_LAYOUT(peer->Widget()) ? peer->Widget() : root_;
}

std::unique_ptr<forms::ControlNative> GtkFormNative::CreateControl(forms::Control& control) {
  using forms::ControlKind;
  switch (control.Kind()) {
    case ControlKind::kLabel:
    case ControlKind::kImage: return std::make_unique<WindowlessPeer>(*this, control);
    case ControlKind::kTextBox: return std::make_unique<EntryPeer>(*this, control);
    case ControlKind::kWebBrowser: return MakeBrowserPeer(*this, control);
    case ControlKind::kCommandButton: return std::make_unique<ButtonPeer>(*this, control);
    case ControlKind::kPictureBox: break;
  }
  return std::make_unique<PicturePeer>(*this, control);
}

void GtkFormNative::InvalidateWindowless(const forms::Control& control) {
  gtk_widget_queue_draw_area(surface_, control.Left(), control.Top(), control.Width() + 1,
                             control.Height() + 1);
}

void GtkFormNative::FormRefresh() { gtk_widget_queue_draw(surface_); }

void GtkFormNative::ApplyMinMax() {
  // Ask the window's procedure chain for the bounds, as the system would
  // before maximizing the window, and read the answer as Windows does:
  // ptMaxSize is meant for the primary monitor, and one that covers it
  // grows by what the window's monitor has over the primary one.
  const GdkRectangle primary = PrimaryMonitorGeometry();
  GdkMonitor* monitor = MonitorOf(window_);
  GdkRectangle onMonitor = primary;
  if (monitor) gdk_monitor_get_geometry(monitor, &onMonitor);
  hintsMonitor_.reset(monitor ? GDK_MONITOR(g_object_ref(monitor)) : nullptr);
  forms::MinMaxInfo info{};
  info.ptMaxSize = {primary.width, primary.height};
  info.ptMinTrackSize = {1, 1};
  info.ptMaxTrackSize = {32767, 32767};
  native_.longs.chain.Send(Handle(), forms::kWmGetMinMaxInfo, 0,
                           reinterpret_cast<forms::LParam>(&info));
  forms::PointL maxSize = info.ptMaxSize;
  if (maxSize.x >= primary.width && maxSize.y >= primary.height) {
    maxSize.x += onMonitor.width - primary.width;
    maxSize.y += onMonitor.height - primary.height;
  }
  GdkGeometry hints{};
  hints.min_width = std::max(1, info.ptMinTrackSize.x);
  hints.min_height = std::max(1, info.ptMinTrackSize.y);
  // Above the size the program gave: a window manager does not maximize a
  // window whose size is fixed, and shrinks one that starts larger than the
  // work area to its maximum.
  hints.max_width = std::max(
      {hints.min_width, normalWidth_ + 1, std::min(info.ptMaxTrackSize.x, maxSize.x)});
  hints.max_height = std::max(
      {hints.min_height, normalHeight_ + 1, std::min(info.ptMaxTrackSize.y, maxSize.y)});
#ifdef GDK_WINDOWING_WAYLAND
  // A tiling compositor (sway) floats only a window of one size, and gives
  // any other a tile; the range opens while the window is maximized.
  if (GDK_IS_WAYLAND_DISPLAY(gtk_widget_get_display(window_)) && !maximizing_) {
    hints.min_width = hints.max_width = normalWidth_;
    hints.min_height = hints.max_height = normalHeight_;
  }
#endif
  // No pointer resizing: sizes go in steps larger than any screen from the
  // program's size, so a drag on the border or with Alt lands on that size
  // again. Window managers drop the steps while a window is maximized.
  constexpr int kNoResizeStep = 16384;
  hints.base_width = normalWidth_;
  hints.base_height = normalHeight_;
  hints.width_inc = kNoResizeStep;
  hints.height_inc = kNoResizeStep;
  gtk_window_set_geometry_hints(
      Window(), nullptr, &hints,
      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE | GDK_HINT_BASE_SIZE |
                                  GDK_HINT_RESIZE_INC));
}

void GtkFormNative::FormSetOwner(forms::WindowHandle owner) {
  NativeWindow* w = WindowOf(owner);
  GtkWindow* parent = w && w->form && w->form != this ? w->form->Window() : nullptr;
  // GTK forgets the parent by itself when the parent is destroyed first.
  gtk_window_set_transient_for(Window(), parent);
}

void GtkFormNative::FormSetIcon(forms::IconHandle icon) {
  // Every size the icon has art for: a task bar at a scale of 2 picks the
  // one for its size in the screen's pixels.
  GList* pictures = nullptr;
  for (GdkPixbuf* p : IconPictures(reinterpret_cast<GdkPixbuf*>(icon))) {
    pictures = g_list_append(pictures, p);
  }
  gtk_window_set_icon_list(Window(), pictures);
  g_list_free(pictures);
}

void GtkFormNative::FormShow() {
  if (!Dialog()) ApplyMinMax();
  const bool firstShow = !shownOnce_;
  if (firstShow) {
    shownOnce_ = true;
    if (form_.Design().startUpPosition == forms::StartUpPosition::kCenterScreen) {
      gtk_window_set_position(Window(), GTK_WIN_POS_CENTER);
    }
  }
  gtk_widget_show(window_);
  TellBrowsersHidden(false);
  // Shown again right after a hide, the window manager may still be
  // forgetting the hidden window's state while it maps the new one; asked
  // once more after the map, it keeps the window maximized.
  if (hiddenMaximized_) gtk_window_maximize(Window());
  hiddenMaximized_ = false;
  Present();
  if (firstShow) FocusFirstStop();
}

void GtkFormNative::Present() {
  // Brought forward for another start: its start-up notification id carries
  // the time of the user's action and ends the launcher's busy feedback.
  const std::string& startupId = platform_.LinkStartupId();
#ifdef GDK_WINDOWING_WAYLAND
  // On Wayland it is an activation token, which GDK hands the compositor
  // with the request to activate the window.
  GdkDisplay* display = gtk_widget_get_display(window_);
  if (!startupId.empty() && GDK_IS_WAYLAND_DISPLAY(display)) {
    gdk_wayland_display_set_startup_notification_id(display, startupId.c_str());
    gtk_window_present(Window());
    return;
  }
#endif
  if (!startupId.empty()) {
    gtk_window_set_startup_id(Window(), startupId.c_str());
    gtk_window_present(Window());
    return;
  }
  // Without one, the server's time now: window managers that prevent focus
  // stealing leave a window presented with no time behind the active one.
  guint32 time = GDK_CURRENT_TIME;
#ifdef GDK_WINDOWING_X11
  GdkWindow* window = gtk_widget_get_window(window_);
  if (window && GDK_IS_X11_WINDOW(window)) time = gdk_x11_get_server_time(window);
#endif
  gtk_window_present_with_time(Window(), time);
}

void GtkFormNative::FormHide() {
  GdkWindow* window = gtk_widget_get_window(window_);
  if (gtk_widget_get_visible(window_) && window) {
    hiddenMaximized_ = (gdk_window_get_state(window) & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  }
  gtk_widget_hide(window_);
  TellBrowsersHidden(true);
}

void GtkFormNative::TellBrowsersHidden(bool hidden) {
  for (const auto& control : form_.Controls()) {
    if (auto* browser = dynamic_cast<BrowserPeer*>(control->Native()))
      browser->WindowHidden(hidden);
  }
}

void GtkFormNative::FormSetOuterSize(int widthPx, int heightPx) {
  normalWidth_ = std::max(1, widthPx);
  normalHeight_ = std::max(1, heightPx);
  if (Dialog()) {
    gtk_widget_set_size_request(root_, normalWidth_, normalHeight_);
  } else if (shownOnce_) {
    ApplyMinMax();
  }
  gtk_widget_set_size_request(surface_, normalWidth_, normalHeight_);
  gtk_window_resize(Window(), normalWidth_, normalHeight_);
}

void GtkFormNative::FormSetState(forms::WindowState state) {
  switch (state) {
    case forms::WindowState::kMinimized: gtk_window_iconify(Window()); break;
    case forms::WindowState::kMaximized:
      maximizing_ = true;
      ApplyMinMax();
      gtk_window_deiconify(Window());
      gtk_window_maximize(Window());
      break;
    case forms::WindowState::kNormal:
      gtk_window_deiconify(Window());
      gtk_window_unmaximize(Window());
      break;
  }
}

void GtkFormNative::BeginMoveLoop() {
  // The window manager takes the pointer until the button comes up; the
  // press in progress is over for us.
  form_.Pointer().Cancel();
  if (!gtk_widget_get_visible(window_)) return;
  if (MoveFromScreenPixel(Window(), lastButton_, lastRootX_, lastRootY_)) return;
  gtk_window_begin_move_drag(Window(), static_cast<gint>(lastButton_),
                             static_cast<gint>(lastRootX_), static_cast<gint>(lastRootY_),
                             lastTime_);
}

void GtkFormNative::SetShape(std::optional<forms::RoundRectRegion> shape, bool redraw) {
  shape_ = std::move(shape);
  if (!gtk_widget_get_realized(window_)) return;  // applied on realize
  Owned<cairo_region_t, cairo_region_destroy> region;
  if (shape_) {
    region.reset(cairo_region_create());
    for (const auto& span : shape_->Spans()) {
      const cairo_rectangle_int_t r{span.left, span.top, span.width, span.height};
      cairo_region_union_rectangle(region.get(), &r);
    }
  }
  gtk_widget_shape_combine_region(window_, region.get());
  if (redraw) gtk_widget_queue_draw(window_);
}

void GtkFormNative::OnRealize(GtkWidget*, GtkFormNative* self) {
  if (self->shape_) self->SetShape(self->shape_, true);
  if (self->Dialog()) {
    // Before the first map, where the window manager reads them: a title
    // and a close box only, no minimize, maximize or resize.
    GdkWindow* window = gtk_widget_get_window(self->window_);
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    gdk_window_set_decorations(window,
                               static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE));
  }
}

// For window managers that ignore the size steps: in the normal state the
// size the program gave comes back once their resizing has settled.
void GtkFormNative::KeepNormalSize() {
  if (restoreSource_) g_source_remove(restoreSource_);
  restoreSource_ = g_timeout_add(150, &RestoreNormalSize, this);
}

gboolean GtkFormNative::RestoreNormalSize(gpointer data) {
  auto* self = static_cast<GtkFormNative*>(data);
  self->restoreSource_ = 0;
  GdkWindow* window = gtk_widget_get_window(self->window_);
  if (!window) return G_SOURCE_REMOVE;
  const GdkWindowState state = gdk_window_get_state(window);
  if (state & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN |
               GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN | GDK_WINDOW_STATE_TILED)) {
    return G_SOURCE_REMOVE;
  }
  const int width = gdk_window_get_width(window);
  const int height = gdk_window_get_height(window);
  if (width == self->normalWidth_ && height == self->normalHeight_) return G_SOURCE_REMOVE;
  // Asked once per size: a manager that insists (a work area too small)
  // answers every request with the same size, and keeps it.
  const long long seen = (static_cast<long long>(width) << 32) | static_cast<unsigned>(height);
  if (seen == self->restoreRefused_) return G_SOURCE_REMOVE;
  self->restoreRefused_ = seen;
  gtk_window_resize(self->Window(), self->normalWidth_, self->normalHeight_);
  return G_SOURCE_REMOVE;
}

gboolean GtkFormNative::OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkFormNative* self) {
  gtk_widget_set_size_request(self->surface_, std::max(1, event->width),
                              std::max(1, event->height));
  if (self->Dialog()) {
    // Its size is fixed by the toolkit; nothing to keep.
    return self->Sized(event);
  }
  // Moved onto another monitor: a window manager maximizes the window there
  // within the hints, so they follow that monitor's work area from now on.
  if (self->shownOnce_ && MonitorOf(self->window_) != self->hintsMonitor_.get()) {
    self->ApplyMinMax();
  }
  if (event->width != self->normalWidth_ || event->height != self->normalHeight_) {
    self->KeepNormalSize();
  } else {
    self->restoreRefused_ = -1;
  }
  return self->Sized(event);
}

gboolean GtkFormNative::Sized(const GdkEventConfigure* event) {
  Guarded([&] {
    if (form_.State() != forms::WindowState::kMinimized) {
      form_.NativeSized(event->width, event->height);
    }
  });
  return FALSE;
}

gboolean GtkFormNative::OnWindowState(GtkWidget*, GdkEventWindowState* event, GtkFormNative* self) {
  const auto s = event->new_window_state;
  forms::WindowState state = forms::WindowState::kNormal;
  if (s & GDK_WINDOW_STATE_ICONIFIED) {
    state = forms::WindowState::kMinimized;
  } else if (s & GDK_WINDOW_STATE_MAXIMIZED) {
    state = forms::WindowState::kMaximized;
  }
  Guarded([&] {
    self->form_.NativeState(state);
    if (event->changed_mask & GDK_WINDOW_STATE_WITHDRAWN) {
      self->form_.NativeVisible(!(s & GDK_WINDOW_STATE_WITHDRAWN));
    }
  });
  // Back from maximized: the restored size is checked once it has settled.
  if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
    const bool maximized = (s & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    if (self->maximizing_ != maximized) {
      self->maximizing_ = maximized;
      self->ApplyMinMax();
    }
    self->KeepNormalSize();
  }
  return FALSE;
}

gboolean GtkFormNative::OnDelete(GtkWidget*, GdkEvent*, GtkFormNative* self) {
  // The program decides what a close request means; the window is never
  // destroyed here. The form may unload, and this object with it: nothing
  // of it is touched afterwards.
  forms::Form& form = self->form_;
  Guarded([&] { form.NativeCloseRequest(forms::UnloadMode::kFormControlMenu); });
  return TRUE;
}

}  // namespace gtkplat
