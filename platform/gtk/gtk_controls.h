// The native peer of each kind of control on GTK. A peer owns its widget
// (labels and images have none: they are painted on their form's surface and
// take their pointer input from it) and is the control's window handle.
// Not yet: controls created or destroyed after the form is shown.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "forms/control.h"
#include "gtk_form.h"
#include "gtk_platform.h"

namespace gtkplat {

class ControlPeer : public forms::ControlNative, public NativeTarget {
 public:
  ControlPeer(GtkFormNative& owner, forms::Control& control, GtkWidget* widget);
  ~ControlPeer() override;

  forms::WindowHandle Handle() override { return widget_ ? Id() : nullptr; }
  GtkWidget* GrabWidget() override { return widget_; }
  void Moved() override;
  void VisibilityChanged() override;
  void Refresh() override;
  void TextChanged() override {}
  void Focus() override;

  GtkFormNative& Owner() const { return owner_; }
  forms::Control& Model() const { return control_; }
  GtkWidget* Widget() const { return widget_; }

 protected:
  // Puts the widget into its container at the control's place.
  void Place();

  GtkFormNative& owner_;
  forms::Control& control_;
  GtkWidget* widget_;
};

// Labels and images.
class WindowlessPeer final : public ControlPeer {
 public:
  WindowlessPeer(GtkFormNative& owner, forms::Control& control)
      : ControlPeer(owner, control, nullptr) {}
  void TextChanged() override { owner_.InvalidateWindowless(control_); }
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

 private:
  static void OnChanged(GtkEditable* editable, EntryPeer* self);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, EntryPeer* self);
  static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, EntryPeer* self);
};

// The browser: a WebKitWebView.
class BrowserPeer final : public ControlPeer {
 public:
  BrowserPeer(GtkFormNative& owner, forms::Control& control);
  ~BrowserPeer() override;
  void Navigate(const std::string& url) override;
};

}  // namespace gtkplat
