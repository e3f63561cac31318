// The native peer of each kind of control on GTK. A peer owns its widget
// (labels and images have none: they are painted on their form's surface and
// take their pointer input from it) and is the control's window handle.
// What every peer shares lives in PeerCore, so the browser's peer can take
// the browser's own interface beside it. Not yet: controls created or
// destroyed after the form is shown.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "accessible.h"
#include "forms/control.h"
#include "gtk_form.h"
#include "gtk_platform.h"

namespace gtkplat {

// The widget of one control, placed in its container, and the model behind
// it. Found from a control with dynamic_cast<PeerCore*>(control.Native()).
class PeerCore : public NativeTarget {
 public:
  PeerCore(GtkFormNative& owner, forms::Control& control, GtkWidget* widget);
  ~PeerCore() override;

  GtkWidget* GrabWidget() override { return widget_; }
  GtkFormNative& Owner() const { return owner_; }
  forms::Control& Model() const { return control_; }
  GtkWidget* Widget() const { return widget_; }

 protected:
  forms::WindowHandle WidgetHandle() { return widget_ ? Id() : nullptr; }
  // Puts the widget into its container at the control's place.
  void Place();
  void WidgetMoved();
  void WidgetVisibility();
  void WidgetRefresh();
  void WidgetFocus();

  GtkFormNative& owner_;
  forms::Control& control_;
  GtkWidget* widget_;
};

// A peer behind the control interface `Native` (ControlNative, or the
// browser's BrowserNative), its window being its widget. PeerCore first:
// the peer's address is the core's, the data its widget's signals carry.
template <class Native>
class WidgetPeer : public PeerCore, public Native {
 public:
  WidgetPeer(GtkFormNative& owner, forms::Control& control, GtkWidget* widget)
      : PeerCore(owner, control, widget) {}

  forms::WindowHandle Handle() override { return WidgetHandle(); }
  void Moved() override { WidgetMoved(); }
  void VisibilityChanged() override { WidgetVisibility(); }
  void Refresh() override { WidgetRefresh(); }
  void TextChanged() override {}
  void Focus() override { WidgetFocus(); }
  void AccessibilityChanged() override { AnnounceAccessibility(widget_, nullptr, control_); }
};

using ControlPeer = WidgetPeer<forms::ControlNative>;

// Labels and images. Their accessible is made when assistive technology
// first asks for it.
class WindowlessPeer final : public ControlPeer {
 public:
  WindowlessPeer(GtkFormNative& owner, forms::Control& control)
      : ControlPeer(owner, control, nullptr) {}
  ~WindowlessPeer() override;
  void TextChanged() override { owner_.InvalidateWindowless(control_); }
  void AccessibilityChanged() override { AnnounceAccessibility(nullptr, accessible_.get(), control_); }
  AtkObject* Accessible();

 private:
  GObjectPtr<AtkObject> accessible_;
};

// A picture box: a drawing area, or a layout of its own when it holds other
// controls, so that it clips them. Its pointer input goes to the router.
class PicturePeer final : public ControlPeer {
 public:
  PicturePeer(GtkFormNative& owner, forms::Control& control);
  ~PicturePeer() override;

 private:
  static GtkWidget* MakeWidget(GtkFormNative& owner, forms::Control& control);
  PointerSource source_;
};

// The text box: a frameless entry.
class EntryPeer final : public ControlPeer {
 public:
  EntryPeer(GtkFormNative& owner, forms::Control& control);
  void TextChanged() override;
  void SelectionChanged() override;

 private:
  static void OnChanged(GtkEditable* editable, EntryPeer* self);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, EntryPeer* self);
  static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, EntryPeer* self);
};

// The command button: a native push button whose activation (a click,
// Enter, Space) is the control's Click.
class ButtonPeer final : public ControlPeer {
 public:
  ButtonPeer(GtkFormNative& owner, forms::Control& control);
  void TextChanged() override;

 private:
  static void OnClicked(GtkButton* button, ButtonPeer* self);
};

// The browser peer lives in web_view.h.
std::unique_ptr<forms::ControlNative> MakeBrowserPeer(GtkFormNative& owner,
                                                      forms::Control& control);

}  // namespace gtkplat
