#include "gtk_form.h"

#include <algorithm>
#include <string>

#include "web_view.h"

namespace gtkplat {
namespace {

constexpr char kFontFamily[] = "WenQuanYi Micro Hei";
constexpr int kFontPx = 12;

void SetSourceColor(cairo_t* cr, forms::Color c) {
  cairo_set_source_rgb(cr, forms::RedOf(c) / 255.0, forms::GreenOf(c) / 255.0,
                       forms::BlueOf(c) / 255.0);
}

// Shows a persistent image without copying it: cairo's RGB24 is our layout.
void PaintSurface(cairo_t* cr, forms::Surface& image, double x, double y) {
  if (image.Empty()) return;
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(image.Bits()), CAIRO_FORMAT_RGB24, image.Width(),
      image.Height(), image.Width() * 4);
  cairo_set_source_surface(cr, s, x, y);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_surface_destroy(s);
}

int ButtonMask(guint button) {
  switch (button) {
    case 1: return forms::kLeftButton;
    case 2: return forms::kMiddleButton;
    case 3: return forms::kRightButton;
    default: return 0;
  }
}

int HeldButtons(guint state) {
  return ((state & GDK_BUTTON1_MASK) ? forms::kLeftButton : 0) |
         ((state & GDK_BUTTON3_MASK) ? forms::kRightButton : 0) |
         ((state & GDK_BUTTON2_MASK) ? forms::kMiddleButton : 0);
}

int ShiftMask(guint state) {
  return ((state & GDK_SHIFT_MASK) ? 1 : 0) | ((state & GDK_CONTROL_MASK) ? 2 : 0) |
         ((state & GDK_MOD1_MASK) ? 4 : 0);
}

void InstallEntryStyle() {
  static bool done = false;
  if (done) return;
  done = true;
  GtkCssProvider* css = gtk_css_provider_new();
  const std::string rules = std::string("entry.kivo { font-family: \"") + kFontFamily +
                            "\"; font-size: " + std::to_string(kFontPx) +
                            "px; min-height: 0; min-width: 0; padding: 0 1px; margin: 0;"
                            " border: none; border-radius: 0; box-shadow: none;"
                            " background: #ffffff; color: #000000; }";
  gtk_css_provider_load_from_data(css, rules.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

}  // namespace

GtkFormNative::GtkFormNative(GtkPlatform& platform, forms::Form& form)
    : platform_(platform), form_(form) {
  native_.form = this;
  font_ = pango_font_description_from_string(kFontFamily);
  pango_font_description_set_absolute_size(font_, kFontPx * PANGO_SCALE);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_window_set_decorated(Window(), FALSE);
  gtk_window_set_title(Window(), form.Caption().c_str());
  gtk_window_set_default_size(Window(), std::max(1, form.ScaleWidth()),
                              std::max(1, form.ScaleHeight()));
  gtk_widget_set_app_paintable(window_, TRUE);

  root_ = gtk_layout_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(window_), root_);
  surface_ = gtk_drawing_area_new();
  surfacePeer_.owner = this;
  surfacePeer_.widget = surface_;
  gtk_layout_put(GTK_LAYOUT(root_), surface_, 0, 0);
  gtk_widget_set_size_request(surface_, std::max(1, form.ScaleWidth()),
                              std::max(1, form.ScaleHeight()));
  g_signal_connect(surface_, "draw", G_CALLBACK(OnDrawSurface), this);
  ConnectInput(surface_, surfacePeer_);

  g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "realize", G_CALLBACK(OnRealize), this);
  gtk_widget_show(root_);
  gtk_widget_show(surface_);
}

GtkFormNative::~GtkFormNative() {
  for (auto& [picture, cursor] : cursors_) g_object_unref(cursor);
  for (auto& [control, image] : images_) cairo_surface_destroy(image);
  if (window_) {
    gtk_widget_destroy(window_);
    g_object_unref(window_);
  }
  pango_font_description_free(font_);
}

GtkWidget* GtkFormNative::ContainerWidget(const forms::Control& control) const {
  if (!control.Container()) return root_;
  auto* peer = static_cast<Peer*>(control.Container()->peer);
  return peer && peer->widget && GTK_IS_LAYOUT(peer->widget) ? peer->widget : root_;
}

void GtkFormNative::CreateControl(forms::Control& control) {
  peers_.push_back(std::make_unique<Peer>());
  Peer& peer = *peers_.back();
  peer.owner = this;
  peer.control = &control;
  control.peer = &peer;
  peer.widget = MakeWidget(control, peer);
  if (!peer.widget) return;  // windowless: drawn on the form's surface
  gtk_layout_put(GTK_LAYOUT(ContainerWidget(control)), peer.widget, control.Left(), control.Top());
  gtk_widget_set_size_request(peer.widget, control.Width(), control.Height());
  if (control.Visible()) gtk_widget_show(peer.widget);
}

GtkWidget* GtkFormNative::MakeWidget(forms::Control& control, Peer& peer) {
  using forms::ControlKind;
  switch (control.Kind()) {
    case ControlKind::kLabel:
    case ControlKind::kImage:
      return nullptr;
    case ControlKind::kTextBox: {
      InstallEntryStyle();
      GtkWidget* entry = gtk_entry_new();
      gtk_style_context_add_class(gtk_widget_get_style_context(entry), "kivo");
      gtk_entry_set_has_frame(GTK_ENTRY(entry), FALSE);
      gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
      gtk_entry_set_text(GTK_ENTRY(entry), control.Text().c_str());
      g_signal_connect(entry, "changed", G_CALLBACK(OnEntryChanged), &peer);
      g_signal_connect(entry, "key-press-event", G_CALLBACK(OnEntryKey), &peer);
      g_signal_connect(entry, "button-release-event", G_CALLBACK(OnEntryRelease), &peer);
      g_signal_connect(entry, "focus-out-event", G_CALLBACK(OnEntryFocusOut), &peer);
      return entry;
    }
    case ControlKind::kWebBrowser:
      return CreateWebView(form_, control);
    case ControlKind::kPictureBox:
      break;
  }
  // A picture box that holds other controls becomes a layout of its own, so
  // it clips them; the others are plain drawing areas.
  bool holdsChildren = false;
  for (const auto& other : form_.Controls()) holdsChildren |= other->Container() == &control;
  GtkWidget* widget;
  if (holdsChildren) {
    widget = gtk_layout_new(nullptr, nullptr);
    g_signal_connect(widget, "draw", G_CALLBACK(OnDrawContainer), &peer);
  } else {
    widget = gtk_drawing_area_new();
    g_signal_connect(widget, "draw", G_CALLBACK(OnDrawPicture), &peer);
  }
  ConnectInput(widget, peer);
  return widget;
}

void GtkFormNative::ConnectInput(GtkWidget* widget, Peer& peer) {
  gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                    GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButtonPress), &peer);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(OnButtonRelease), &peer);
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), &peer);
}

void GtkFormNative::ControlMoved(forms::Control& control) {
  auto* peer = static_cast<Peer*>(control.peer);
  if (!peer) return;
  if (!peer->widget) {
    // Windowless: the old place and the new one both need repainting.
    gtk_widget_queue_draw(surface_);
    return;
  }
  gtk_layout_move(GTK_LAYOUT(ContainerWidget(control)), peer->widget, control.Left(),
                  control.Top());
  gtk_widget_set_size_request(peer->widget, control.Width(), control.Height());
}

void GtkFormNative::ControlVisibility(forms::Control& control) {
  auto* peer = static_cast<Peer*>(control.peer);
  if (!peer) return;
  if (!peer->widget) {
    gtk_widget_queue_draw(surface_);
  } else if (control.Visible()) {
    gtk_widget_show(peer->widget);
  } else {
    gtk_widget_hide(peer->widget);
  }
}

void GtkFormNative::InvalidateWindowless(const forms::Control& control) {
  gtk_widget_queue_draw_area(surface_, control.Left(), control.Top(), control.Width() + 1,
                             control.Height() + 1);
}

void GtkFormNative::ControlRefresh(forms::Control& control) {
  auto* peer = static_cast<Peer*>(control.peer);
  if (!peer) return;
  if (peer->widget) {
    gtk_widget_queue_draw(peer->widget);
  } else {
    InvalidateWindowless(control);
    if (cursorOver_ == &control) UpdateCursor(&control);
  }
}

void GtkFormNative::ControlTextChanged(forms::Control& control) {
  auto* peer = static_cast<Peer*>(control.peer);
  if (!peer) return;
  if (peer->widget && GTK_IS_ENTRY(peer->widget)) {
    const char* shown = gtk_entry_get_text(GTK_ENTRY(peer->widget));
    if (control.Text() != shown) gtk_entry_set_text(GTK_ENTRY(peer->widget), control.Text().c_str());
  } else if (!peer->widget) {
    InvalidateWindowless(control);
  }
}

void GtkFormNative::FormRefresh() { gtk_widget_queue_draw(surface_); }

void GtkFormNative::ApplyMinMax() {
  // Ask the window's procedure chain for the bounds, as the system would
  // before sizing or maximizing the window.
  GdkRectangle screen{0, 0, 0, 0};
  if (GdkMonitor* m = gdk_display_get_primary_monitor(gdk_display_get_default())) {
    gdk_monitor_get_geometry(m, &screen);
  }
  forms::MinMaxInfo info{};
  info.ptMaxSize = {screen.width, screen.height};
  info.ptMinTrackSize = {1, 1};
  info.ptMaxTrackSize = {32767, 32767};
  native_.longs.chain.Send(Handle(), forms::kWmGetMinMaxInfo, 0, reinterpret_cast<forms::LParam>(&info));
  GdkGeometry hints{};
  hints.min_width = std::max(1, info.ptMinTrackSize.x);
  hints.min_height = std::max(1, info.ptMinTrackSize.y);
  hints.max_width = std::max(hints.min_width, std::min(info.ptMaxTrackSize.x, info.ptMaxSize.x));
  hints.max_height = std::max(hints.min_height, std::min(info.ptMaxTrackSize.y, info.ptMaxSize.y));
  gtk_window_set_geometry_hints(Window(), nullptr, &hints,
                                static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
}

void GtkFormNative::FormShow() {
  ApplyMinMax();
  const bool firstShow = !shownOnce_;
  if (firstShow) {
    shownOnce_ = true;
    gtk_window_set_position(Window(), GTK_WIN_POS_CENTER);
  }
  gtk_widget_show(window_);
  gtk_window_present(Window());
  if (firstShow) {
    // The first control in tab order is a picture button, which takes no
    // keyboard focus here: leave the search field unfocused and unselected.
    gtk_window_set_focus(Window(), nullptr);
  }
}

void GtkFormNative::FormHide() { gtk_widget_hide(window_); }

void GtkFormNative::FormSetOuterSize(int widthPx, int heightPx) {
  gtk_widget_set_size_request(surface_, std::max(1, widthPx), std::max(1, heightPx));
  gtk_window_resize(Window(), std::max(1, widthPx), std::max(1, heightPx));
}

void GtkFormNative::FormSetState(forms::WindowState state) {
  switch (state) {
    case forms::WindowState::kMinimized:
      gtk_window_iconify(Window());
      break;
    case forms::WindowState::kMaximized:
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

void GtkFormNative::Navigate(forms::Control& browser, const std::string& url) {
  auto* peer = static_cast<Peer*>(browser.peer);
  if (peer && peer->widget) LoadAddress(peer->widget, url);
}

void GtkFormNative::SetShape(std::optional<forms::RoundRectRegion> shape, bool redraw) {
  shape_ = std::move(shape);
  if (!gtk_widget_get_realized(window_)) return;  // applied on realize
  cairo_region_t* region = nullptr;
  if (shape_) {
    region = cairo_region_create();
    for (const auto& span : shape_->Spans()) {
      const cairo_rectangle_int_t r{span.left, span.top, span.width, span.height};
      cairo_region_union_rectangle(region, &r);
    }
  }
  gtk_widget_shape_combine_region(window_, region);
  if (region) cairo_region_destroy(region);
  if (redraw) gtk_widget_queue_draw(window_);
}

void GtkFormNative::OnRealize(GtkWidget*, GtkFormNative* self) {
  if (self->shape_) self->SetShape(self->shape_, true);
}

gboolean GtkFormNative::OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkFormNative* self) {
  gtk_widget_set_size_request(self->surface_, std::max(1, event->width), std::max(1, event->height));
  if (self->form_.State() != forms::WindowState::kMinimized) {
    self->form_.NativeSized(event->width, event->height);
  }
  return FALSE;
}

gboolean GtkFormNative::OnWindowState(GtkWidget*, GdkEventWindowState* event,
                                      GtkFormNative* self) {
  const auto s = event->new_window_state;
  forms::WindowState state = forms::WindowState::kNormal;
  if (s & GDK_WINDOW_STATE_ICONIFIED) {
    state = forms::WindowState::kMinimized;
  } else if (s & GDK_WINDOW_STATE_MAXIMIZED) {
    state = forms::WindowState::kMaximized;
  }
  self->form_.NativeState(state);
  if (event->changed_mask & GDK_WINDOW_STATE_WITHDRAWN) {
    self->form_.NativeVisible(!(s & GDK_WINDOW_STATE_WITHDRAWN));
  }
  return FALSE;
}

gboolean GtkFormNative::OnDelete(GtkWidget*, GdkEvent*, GtkFormNative*) {
  // A close request from the window manager ends the program.
  gtk_main_quit();
  return TRUE;
}

cairo_surface_t* GtkFormNative::ImageFor(const forms::Control& control) {
  auto it = images_.find(&control);
  if (it != images_.end()) return it->second;
  const forms::Picture* p = control.PictureData();
  if (!p || !p->Valid()) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, p->width, p->height);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < p->height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    for (int x = 0; x < p->width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * p->width + x;
      const unsigned a = p->alpha.empty() ? 255u : p->alpha[i];
      const forms::Color c = p->pixels[i];
      // cairo wants premultiplied alpha.
      row[x] = (a << 24) | ((forms::RedOf(c) * a / 255) << 16) |
               ((forms::GreenOf(c) * a / 255) << 8) | (forms::BlueOf(c) * a / 255);
    }
  }
  cairo_surface_mark_dirty(s);
  images_[&control] = s;
  return s;
}

gboolean GtkFormNative::OnDrawSurface(GtkWidget*, cairo_t* cr, GtkFormNative* self) {
  forms::Form& form = self->form_;
  PaintSurface(cr, form.Image(), 0, 0);
  // Windowless controls lie above the persistent image, in creation order.
  for (const auto& control : form.Controls()) {
    if (control->Container() || !control->Visible()) continue;
    if (control->Kind() == forms::ControlKind::kImage) {
      if (cairo_surface_t* image = self->ImageFor(*control)) {
        cairo_set_source_surface(cr, image, control->Left(), control->Top());
        cairo_paint(cr);
      }
    } else if (control->Kind() == forms::ControlKind::kLabel) {
      PangoLayout* layout = pango_cairo_create_layout(cr);
      pango_layout_set_font_description(layout, self->font_);
      pango_layout_set_text(layout, control->Text().c_str(), -1);
      SetSourceColor(cr, forms::Resolve(self->platform_, control->ForeColor()));
      cairo_move_to(cr, control->Left(), control->Top());
      pango_cairo_show_layout(cr, layout);
      g_object_unref(layout);
    }
  }
  return FALSE;
}

gboolean GtkFormNative::OnDrawPicture(GtkWidget* widget, cairo_t* cr, Peer* peer) {
  forms::Control& c = *peer->control;
  SetSourceColor(cr, forms::Resolve(peer->owner->platform_, c.BackColor()));
  cairo_paint(cr);
  if (forms::Surface* image = c.Image()) PaintSurface(cr, *image, 0, 0);
  (void)widget;
  return FALSE;
}

gboolean GtkFormNative::OnDrawContainer(GtkWidget*, cairo_t* cr, Peer* peer) {
  SetSourceColor(cr, forms::Resolve(peer->owner->platform_, peer->control->BackColor()));
  cairo_paint(cr);
  return FALSE;  // the layout then draws its children above
}

void GtkFormNative::RaiseMouse(Peer& peer, forms::EventKind kind, int button, int shift, double x,
                               double y) {
  forms::Event event{kind, peer.control};
  event.button = button;
  event.shift = shift;
  event.x = static_cast<int>(x);
  event.y = static_cast<int>(y);
  if (!peer.control) {
    // The form's surface: a label or image under the pointer takes the event.
    forms::Control* hit = form_.WindowlessAt(event.x, event.y);
    if (kind == forms::EventKind::kMouseMove) UpdateCursor(hit);
    if (hit) {
      event.source = hit;
      event.x -= hit->Left();
      event.y -= hit->Top();
    }
  }
  form_.Raise(event);
}

gboolean GtkFormNative::OnButtonPress(GtkWidget*, GdkEventButton* event, Peer* peer) {
  if (event->type != GDK_BUTTON_PRESS) return TRUE;  // double clicks arrive as two presses
  peer->pressed |= ButtonMask(event->button);
  peer->owner->RaiseMouse(*peer, forms::EventKind::kMouseDown, ButtonMask(event->button),
                          ShiftMask(event->state), event->x, event->y);
  return TRUE;
}

gboolean GtkFormNative::OnButtonRelease(GtkWidget* widget, GdkEventButton* event, Peer* peer) {
  const int button = ButtonMask(event->button);
  const bool wasPressed = peer->pressed & button;
  peer->pressed &= ~button;
  GtkFormNative* self = peer->owner;
  self->RaiseMouse(*peer, forms::EventKind::kMouseUp, button, ShiftMask(event->state), event->x,
                   event->y);
  const int w = gtk_widget_get_allocated_width(widget);
  const int h = gtk_widget_get_allocated_height(widget);
  const bool inside = event->x >= 0 && event->y >= 0 && event->x < w && event->y < h;
  if (button == forms::kLeftButton && wasPressed && inside) {
    self->RaiseMouse(*peer, forms::EventKind::kClick, 0, 0, event->x, event->y);
  }
  return TRUE;
}

gboolean GtkFormNative::OnMotion(GtkWidget*, GdkEventMotion* event, Peer* peer) {
  peer->owner->RaiseMouse(*peer, forms::EventKind::kMouseMove, HeldButtons(event->state),
                          ShiftMask(event->state), event->x, event->y);
  return TRUE;
}

void GtkFormNative::UpdateCursor(const forms::Control* hit) {
  cursorOver_ = hit;
  GdkWindow* window = gtk_widget_get_window(surface_);
  if (!window) return;
  GdkCursor* cursor = nullptr;
  if (hit && hit->Pointer() == forms::MousePointer::kCustom && hit->MouseIcon()) {
    cursor = CursorFor(*hit->MouseIcon());
  }
  gdk_window_set_cursor(window, cursor);
}

GdkCursor* GtkFormNative::CursorFor(const forms::Picture& picture) {
  auto it = cursors_.find(&picture);
  if (it != cursors_.end()) return it->second;
  if (!picture.Valid()) return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, picture.width, picture.height);
  guchar* data = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * picture.width + x;
      guchar* px = data + static_cast<std::size_t>(y) * stride + x * 4;
      px[0] = static_cast<guchar>(forms::RedOf(picture.pixels[i]));
      px[1] = static_cast<guchar>(forms::GreenOf(picture.pixels[i]));
      px[2] = static_cast<guchar>(forms::BlueOf(picture.pixels[i]));
      px[3] = picture.alpha.empty() ? 255 : picture.alpha[i];
    }
  }
  GdkCursor* cursor = gdk_cursor_new_from_pixbuf(gdk_display_get_default(), pixbuf,
                                                 picture.hotspotX, picture.hotspotY);
  g_object_unref(pixbuf);
  cursors_[&picture] = cursor;
  return cursor;
}

void GtkFormNative::OnEntryChanged(GtkEditable* editable, Peer* peer) {
  peer->control->NativeText(gtk_entry_get_text(GTK_ENTRY(editable)));
}

gboolean GtkFormNative::OnEntryKey(GtkWidget*, GdkEventKey* event, Peer* peer) {
  int key = 0;
  if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter ||
      event->keyval == GDK_KEY_ISO_Enter) {
    key = 13;
  } else {
    const guint32 ch = gdk_keyval_to_unicode(event->keyval);
    if (ch == 0 || ch > 0xFF) return FALSE;
    key = static_cast<int>(ch);
  }
  forms::Event press{forms::EventKind::kKeyPress, peer->control};
  press.keyAscii = &key;
  peer->owner->form_.Raise(press);
  return key == 0;  // a swallowed key inserts nothing
}

gboolean GtkFormNative::OnEntryRelease(GtkWidget*, GdkEventButton* event, Peer* peer) {
  if (event->button == 1) peer->owner->form_.Raise({forms::EventKind::kClick, peer->control});
  return FALSE;
}

gboolean GtkFormNative::OnEntryFocusOut(GtkWidget*, GdkEventFocus*, Peer* peer) {
  peer->owner->form_.Raise({forms::EventKind::kLostFocus, peer->control});
  return FALSE;
}

}  // namespace gtkplat
