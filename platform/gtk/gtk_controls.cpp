// The control peers: widgets made, placed, shown, refreshed and focused as
// the model says; the text box's typing and clicks and the command button's
// activation reported back. Pointer input of picture boxes is wired in
// gtk_input.cpp, the browser in web_view.cpp. Not yet: multi-line text
// boxes, scroll bars, default and cancel buttons.
#include "gtk_controls.h"

#include <algorithm>

namespace gtkplat {
namespace {

// The program's font as a CSS family list, each family quoted.
std::string CssFamilies() {
  std::string families;
  for (const char* f = GtkFormNative::FontFamily(); *f; ++f) {
    families += *f == ',' ? std::string("\", \"") : std::string(1, *f);
  }
  return "\"" + families + "\"";
}

void InstallStyle() {
  static bool done = false;
  if (done) return;
  done = true;
  g_autoptr(GtkCssProvider) css = gtk_css_provider_new();
  const std::string font = "font-family: " + CssFamilies() +
                           "; font-size: " + std::to_string(GtkFormNative::kFontPx) + "px;";
  const std::string entry = "entry.kivo { " + font +
                            " min-height: 0; min-width: 0; padding: 0 1px; margin: 0;"
                            " border: none; border-radius: 0; box-shadow: none;"
                            " background: #ffffff; color: #000000; }";
  // The theme's button in the program's font, shrunk to fit the design's
  // rectangle: the theme's padding alone would make it taller.
  const std::string button =
      "button.kivo { " + font + " min-height: 0; min-width: 0; padding: 0; margin: 0; }";
  const std::string rules = entry + button;
  gtk_css_provider_load_from_data(css, rules.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

}  // namespace

PeerCore::PeerCore(GtkFormNative& owner, forms::Control& control, GtkWidget* widget)
    : owner_(owner), control_(control), widget_(widget) {
  if (!widget_) return;
  // Ours until the control goes, whatever its container does meanwhile.
  g_object_ref_sink(widget_);
  BindAccessible(widget_, &control_, owner_);
  Place();
}

PeerCore::~PeerCore() {
  if (!widget_) return;
  g_signal_handlers_disconnect_by_data(widget_, this);
  UnbindAccessible(widget_);
  gtk_widget_destroy(widget_);
  g_object_unref(widget_);
}

void PeerCore::Place() {
  gtk_layout_put(GTK_LAYOUT(owner_.ContainerWidget(control_)), widget_, control_.Left(),
                 control_.Top());
  gtk_widget_set_size_request(widget_, control_.Width(), control_.Height());
  if (control_.Visible()) gtk_widget_show(widget_);
}

void PeerCore::WidgetMoved() {
  if (!widget_) {
    // The old place and the new one both need repainting.
    gtk_widget_queue_draw(owner_.Surface());
    return;
  }
  gtk_layout_move(GTK_LAYOUT(owner_.ContainerWidget(control_)), widget_, control_.Left(),
                  control_.Top());
  gtk_widget_set_size_request(widget_, control_.Width(), control_.Height());
}

void PeerCore::WidgetVisibility() {
  if (!widget_) {
    gtk_widget_queue_draw(owner_.Surface());
  } else if (control_.Visible()) {
    gtk_widget_show(widget_);
  } else {
    gtk_widget_hide(widget_);
  }
}

void PeerCore::WidgetRefresh() {
  if (widget_) {
    gtk_widget_queue_draw(widget_);
  } else {
    owner_.InvalidateWindowless(control_);
  }
}

void PeerCore::WidgetFocus() {
  if (!widget_ || !gtk_widget_get_can_focus(widget_)) return;
  gtk_widget_grab_focus(widget_);
  // Also when the window is not active: the focus is ours to report.
  owner_.Form().NativeFocus(&control_);
}

WindowlessPeer::~WindowlessPeer() { ForgetWindowlessAccessible(accessible_.get()); }

AtkObject* WindowlessPeer::Accessible() {
  if (!accessible_) accessible_.reset(NewWindowlessAccessible(control_, owner_));
  return accessible_.get();
}

PicturePeer::PicturePeer(GtkFormNative& owner, forms::Control& control)
    : ControlPeer(owner, control, MakeWidget(owner, control)) {
  source_.form = &owner;
  source_.control = &control;
  source_.handle = Id();
  if (control.Focusable()) gtk_widget_set_can_focus(widget_, TRUE);
  if (GTK_IS_LAYOUT(widget_)) {
    g_signal_connect(widget_, "draw", G_CALLBACK(GtkFormNative::OnDrawContainer), this);
  } else {
    g_signal_connect(widget_, "draw", G_CALLBACK(GtkFormNative::OnDrawPicture), this);
  }
  GtkFormNative::ConnectPointer(widget_, source_);
}

PicturePeer::~PicturePeer() { GtkFormNative::DisconnectPointer(widget_, source_); }

GtkWidget* PicturePeer::MakeWidget(GtkFormNative& owner, forms::Control& control) {
  const auto& controls = owner.Form().Controls();
  const bool holdsChildren = std::any_of(controls.begin(), controls.end(), [&](const auto& other) {
    return other->Container() == &control;
  });
  return holdsChildren ? NewAccessibleLayout() : NewAccessibleDrawingArea();
}

EntryPeer::EntryPeer(GtkFormNative& owner, forms::Control& control)
    : ControlPeer(owner, control, (InstallStyle(), NewAccessibleEntry())) {
  GtkEntry* entry = GTK_ENTRY(widget_);
  gtk_style_context_add_class(gtk_widget_get_style_context(widget_), "kivo");
  gtk_entry_set_has_frame(entry, FALSE);
  gtk_entry_set_width_chars(entry, 1);
  gtk_entry_set_text(entry, control.Text().c_str());
  g_signal_connect(widget_, "changed", G_CALLBACK(OnChanged), this);
  g_signal_connect(widget_, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(widget_, "button-release-event", G_CALLBACK(OnRelease), this);
}

void EntryPeer::TextChanged() {
  const char* shown = gtk_entry_get_text(GTK_ENTRY(widget_));
  if (control_.Text() != shown) gtk_entry_set_text(GTK_ENTRY(widget_), control_.Text().c_str());
}

void EntryPeer::SelectionChanged() {
  const int start = control_.SelStart();
  gtk_editable_select_region(GTK_EDITABLE(widget_), start, start + control_.SelLength());
}

void EntryPeer::OnChanged(GtkEditable* editable, EntryPeer* self) {
  self->control_.NativeText(gtk_entry_get_text(GTK_ENTRY(editable)));
}

gboolean EntryPeer::OnKey(GtkWidget*, GdkEventKey* event, EntryPeer* self) {
  int key = 0;
  if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter ||
      event->keyval == GDK_KEY_ISO_Enter) {
    key = 13;
  } else {
    const guint32 ch = gdk_keyval_to_unicode(event->keyval);
    if (ch == 0 || ch > 0xFF) return FALSE;
    key = static_cast<int>(ch);
  }
  forms::Event press;
  press.kind = forms::EventKind::kKeyPress;
  press.source = &self->control_;
  press.keyAscii = &key;
  Guarded([&] { self->owner_.Form().Raise(press); });
  return key == 0;  // a swallowed key inserts nothing
}

gboolean EntryPeer::OnRelease(GtkWidget*, GdkEventButton* event, EntryPeer* self) {
  if (event->button == 1) {
    forms::Event click;
    click.source = &self->control_;
    Guarded([&] { self->owner_.Form().Raise(click); });
  }
  return FALSE;
}

ButtonPeer::ButtonPeer(GtkFormNative& owner, forms::Control& control)
    : ControlPeer(owner, control,
                  (InstallStyle(), gtk_button_new_with_label(control.Text().c_str()))) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget_), "kivo");
  // The caption as written: an underscore is no mnemonic.
  gtk_button_set_use_underline(GTK_BUTTON(widget_), FALSE);
  gtk_widget_set_can_focus(widget_, control.Focusable());
  // A press does not move the focus away from the control that has it
  // unless the button takes the focus itself.
  gtk_widget_set_focus_on_click(widget_, control.Focusable());
  g_signal_connect(widget_, "clicked", G_CALLBACK(OnClicked), this);
}

void ButtonPeer::TextChanged() {
  gtk_button_set_label(GTK_BUTTON(widget_), control_.Text().c_str());
}

void ButtonPeer::OnClicked(GtkButton*, ButtonPeer* self) {
  forms::Event click;
  click.kind = forms::EventKind::kClick;
  click.source = &self->control_;
  forms::Form& form = self->owner_.Form();
  // The click may unload the form, and this peer with it: nothing of it is
  // touched afterwards. GTK keeps the button alive until the signal ends.
  Guarded([&] { form.Raise(click); });
}

}  // namespace gtkplat
