// Input: every raw pointer event of the form's surface and of its picture
// boxes passed to the form's pointer router, grabs that the system breaks
// reported as lost capture, the pointer shown over the surface, Tab and
// Shift+Tab by the form's tab order, keys offered to the form's key preview
// before the focused control (the page hands on its own, web_view.cpp),
// and focus moves inside the window reported to the form. Clicks, double clicks and capture
// ownership are the router's. Not yet: mouse wheel, keyboard input of picture boxes.
#include <algorithm>
#include <cmath>

#include "gtk_controls.h"
#include "gtk_form.h"

namespace gtkplat {
namespace {

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

int ShiftKeys(guint state) {
  return ((state & GDK_SHIFT_MASK) ? 1 : 0) | ((state & GDK_CONTROL_MASK) ? 2 : 0) |
         ((state & GDK_MOD1_MASK) ? 4 : 0);
}

bool IsArrow(guint key) {
  switch (key) {
    case GDK_KEY_Left:
    case GDK_KEY_Right:
    case GDK_KEY_Up:
    case GDK_KEY_Down:
    case GDK_KEY_KP_Left:
    case GDK_KEY_KP_Right:
    case GDK_KEY_KP_Up:
    case GDK_KEY_KP_Down: return true;
    default: return false;
  }
}

}  // namespace

void GtkFormNative::ConnectPointer(GtkWidget* widget, PointerSource& source) {
  gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                    GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnPointerButton), &source);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(OnPointerButton), &source);
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnPointerMotion), &source);
  g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnPointerLeave), &source);
  g_signal_connect(widget, "grab-broken-event", G_CALLBACK(OnGrabBroken), &source);
  g_signal_connect(widget, "unmap", G_CALLBACK(OnUnmap), &source);
}

void GtkFormNative::DisconnectPointer(GtkWidget* widget, PointerSource& source) {
  if (widget) g_signal_handlers_disconnect_by_data(widget, &source);
}

void GtkFormNative::PointerInput(const PointerSource& source, const GdkEvent* event) {
  forms::PointerInput in;
  in.window = source.control;
  double x = 0;
  double y = 0;
  gdk_event_get_coords(event, &x, &y);
  in.x = static_cast<int>(std::floor(x));
  in.y = static_cast<int>(std::floor(y));
  GdkModifierType state{};
  gdk_event_get_state(event, &state);
  in.shift = ShiftKeys(state);
  in.time = gdk_event_get_time(event);
  // The state is from before the event: the changed button is added or
  // taken away here.
  in.held = HeldButtons(state);
  if (event->type == GDK_BUTTON_PRESS || event->type == GDK_BUTTON_RELEASE) {
    const guint button = event->button.button;
    in.button = ButtonMask(button);
    if (!in.button) return;  // wheel and extra buttons
    const bool press = event->type == GDK_BUTTON_PRESS;
    in.kind = press ? forms::PointerInput::Kind::kPress : forms::PointerInput::Kind::kRelease;
    in.held = press ? in.held | in.button : in.held & ~in.button;
    if (press) lastButton_ = button;
  }
  gdk_event_get_root_coords(event, &lastRootX_, &lastRootY_);
  lastTime_ = gdk_event_get_time(event);
  Guarded([&] { form_.Pointer().Input(in); });
}

gboolean GtkFormNative::OnPointerButton(GtkWidget*, GdkEventButton* event, PointerSource* source) {
  // GTK follows the second press with a 2BUTTON_PRESS of its own; the
  // router decides double clicks from the plain presses' times.
  if (event->type == GDK_BUTTON_PRESS || event->type == GDK_BUTTON_RELEASE) {
    source->form->PointerInput(*source, reinterpret_cast<GdkEvent*>(event));
  }
  return TRUE;
}

gboolean GtkFormNative::OnPointerMotion(GtkWidget*, GdkEventMotion* event, PointerSource* source) {
  source->form->PointerInput(*source, reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

gboolean GtkFormNative::OnPointerLeave(GtkWidget*, GdkEventCrossing* event, PointerSource* source) {
  // A pointer that jumps out of the window holding the grab in one step
  // brings it the crossing but no motion (X11 sends the grab's window
  // nothing more until the pointer moves again): the crossing, where the
  // pointer now is, is that first move.
  if (event->mode == GDK_CROSSING_NORMAL && source->handle &&
      source->form->platform_.GetCapture() == source->handle) {
    source->form->PointerInput(*source, reinterpret_cast<GdkEvent*>(event));
  }
  return FALSE;
}

gboolean GtkFormNative::OnGrabBroken(GtkWidget*, GdkEvent*, PointerSource* source) {
  // Our own hand-overs and releases are filtered out by the platform.
  Guarded([&] { source->form->platform_.NativeCaptureLost(source->handle); });
  return FALSE;
}

void GtkFormNative::OnUnmap(GtkWidget*, PointerSource* source) {
  // An unmapped window cannot keep the pointer, whoever hid it.
  Guarded([&] { source->form->platform_.NativeCaptureLost(source->handle); });
}

void GtkFormNative::ShowPointer(const forms::Control* over) {
  GdkWindow* window = gtk_widget_get_window(surface_);
  if (!window) return;
  // Null: the surface takes its parent's, the arrow.
  GdkCursor* cursor = nullptr;
  if (over && over->Pointer() == forms::MousePointer::kCustom && over->MouseIcon()) {
    cursor = CursorFor(over->SharedMouseIcon());
  }
  // Right after a capture ends GDK may still show the old holder's pointer
  // until the next motion: its emulated child windows learn of an ungrab
  // one event late.
  gdk_window_set_cursor(window, cursor);
}

GdkCursor* GtkFormNative::CursorFor(const std::shared_ptr<const forms::Picture>& picture) {
  // The pointer is made in the screen's pixels: at a scale of 2 each of its
  // pixels becomes a block of four, as the frame's do.
  const int scale = std::max(1, gtk_widget_get_scale_factor(surface_));
  if (scale != cursorScale_) {
    cursors_.clear();
    cursorScale_ = scale;
  }
  auto it = cursors_.find(picture);
  if (it != cursors_.end()) return it->second.get();
  if (!picture->Valid()) return nullptr;
  const forms::Picture& p = *picture;
  g_autoptr(GdkPixbuf) pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, p.width, p.height);
  if (!pixbuf) return nullptr;
  guchar* data = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * p.width + x;
      guchar* px = data + static_cast<std::size_t>(y) * stride + x * 4;
      px[0] = static_cast<guchar>(forms::RedOf(p.pixels[i]));
      px[1] = static_cast<guchar>(forms::GreenOf(p.pixels[i]));
      px[2] = static_cast<guchar>(forms::BlueOf(p.pixels[i]));
      px[3] = p.alpha.empty() ? 255 : p.alpha[i];
    }
  }
  GdkCursor* cursor = nullptr;
  if (scale == 1) {
    cursor = gdk_cursor_new_from_pixbuf(gdk_display_get_default(), pixbuf, p.hotspotX, p.hotspotY);
  } else {
    g_autoptr(GdkPixbuf) large =
        gdk_pixbuf_scale_simple(pixbuf, p.width * scale, p.height * scale, GDK_INTERP_NEAREST);
    if (!large) return nullptr;
    // The hot spot stays in the window's pixels; the surface's scale says
    // how many of the screen's each one is.
    cairo_surface_t* s = gdk_cairo_surface_create_from_pixbuf(large, scale, nullptr);
    cursor = gdk_cursor_new_from_surface(gdk_display_get_default(), s, p.hotspotX, p.hotspotY);
    cairo_surface_destroy(s);
  }
  cursors_[picture].reset(cursor);
  return cursor;
}

PeerCore* GtkFormNative::PeerOfWidget(GtkWidget* widget) const {
  if (!widget) return nullptr;
  // The focus may rest on a widget inside a control's own (the browser's).
  PeerCore* best = nullptr;
  for (const auto& control : form_.Controls()) {
    auto* peer = dynamic_cast<PeerCore*>(control->Native());
    if (!peer || !peer->Widget()) continue;
    if (peer->Widget() == widget) return peer;
    if (gtk_widget_is_ancestor(widget, peer->Widget())) best = peer;
  }
  return best;
}

void GtkFormNative::ConnectKeyboard() {
  // Before the focused widget sees the key: WebKit would keep Tab for the
  // page's own links and the entry would ignore it.
  g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect_after(window_, "set-focus", G_CALLBACK(OnSetFocus), this);
}

gboolean GtkFormNative::OnKey(GtkWidget*, GdkEventKey* event, GtkFormNative* self) {
  const guint key = event->keyval;
  if (key != GDK_KEY_Tab && key != GDK_KEY_ISO_Left_Tab && key != GDK_KEY_KP_Tab) {
    // The page sees its keys first; those it leaves come back to the
    // browser's holder. WebKit never gives arrow keys back (the window's
    // bindings would move the focus with them), so with Alt held, which no
    // page scrolls with, the form has them before the page.
    PeerCore* focused = self->PeerOfWidget(gtk_window_get_focus(self->Window()));
    const bool inPage = focused && focused->Model().Kind() == forms::ControlKind::kWebBrowser;
    if (inPage && !(IsArrow(key) && (event->state & GDK_MOD1_MASK))) return FALSE;
    return self->PreviewKey(event) ? TRUE : FALSE;
  }
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;
  // Tab never reaches the key preview, yet it is the key that most wants
  // the focus shown.
  Guarded([&] { self->form_.NativeKeyboardUsed(); });
  const bool backwards = key == GDK_KEY_ISO_Left_Tab || (event->state & GDK_SHIFT_MASK);
  Guarded([&] {
    PeerCore* focused = self->PeerOfWidget(gtk_window_get_focus(self->Window()));
    const forms::Control* from = focused ? &focused->Model() : self->form_.Focused();
    forms::Control* next = self->form_.NextInTabOrder(from, backwards);
    if (next && next->Native()) next->Native()->Focus();
  });
  return TRUE;
}

void GtkFormNative::OnSetFocus(GtkWindow*, GtkWidget* widget, GtkFormNative* self) {
  // Only moves inside the window come here: the window losing activation or
  // being hidden keeps its focus widget and reports nothing.
  PeerCore* peer = self->PeerOfWidget(widget);
  if (!peer) return;
  Guarded([&] { self->form_.NativeFocus(&peer->Model()); });
}

void GtkFormNative::FocusFirstStop() {
  // The first stop in tab order has the focus when the window first shows.
  Guarded([&] {
    forms::Control* first = form_.NextInTabOrder(nullptr, false);
    if (first && first->Native()) {
      first->Native()->Focus();
    } else {
      gtk_window_set_focus(Window(), nullptr);
    }
  });
}

}  // namespace gtkplat
