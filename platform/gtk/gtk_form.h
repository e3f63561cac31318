// One form on GTK: an undecorated toplevel whose root is a GtkLayout. The
// form's own surface (its persistent image, labels and images) is a drawing
// area at the bottom of the root; picture boxes are drawing areas or, when
// they hold children, layouts of their own; the text box is a frameless
// entry; the browser a WebKitWebView. This file only mirrors the model in
// forms/ and reports the user's input back; it decides nothing.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "forms/control.h"
#include "forms/form.h"
#include "forms/region.h"
#include "gtk_platform.h"

namespace gtkplat {

class GtkFormNative final : public forms::FormNative {
 public:
  GtkFormNative(GtkPlatform& platform, forms::Form& form);
  ~GtkFormNative() override;

  forms::WindowHandle Handle() override { return reinterpret_cast<forms::WindowHandle>(&native_); }
  void CreateControl(forms::Control& control) override;
  void ControlMoved(forms::Control& control) override;
  void ControlVisibility(forms::Control& control) override;
  void ControlRefresh(forms::Control& control) override;
  void ControlTextChanged(forms::Control& control) override;
  void FormRefresh() override;
  void FormShow() override;
  void FormHide() override;
  void FormSetOuterSize(int widthPx, int heightPx) override;
  void FormSetState(forms::WindowState state) override;
  void Navigate(forms::Control& browser, const std::string& url) override;

  void SetShape(std::optional<forms::RoundRectRegion> shape, bool redraw);
  GtkWindow* Window() const { return GTK_WINDOW(window_); }

  // One control's widget and the state its input handlers need.
  struct Peer {
    GtkFormNative* owner = nullptr;
    forms::Control* control = nullptr;  // null: the form's own surface
    GtkWidget* widget = nullptr;        // null for labels and images
    int pressed = 0;                    // buttons pressed inside it
  };

 private:
  GtkWidget* ContainerWidget(const forms::Control& control) const;
  GtkWidget* MakeWidget(forms::Control& control, Peer& peer);
  void ConnectInput(GtkWidget* widget, Peer& peer);
  void ApplyMinMax();
  void InvalidateWindowless(const forms::Control& control);

  static gboolean OnDrawSurface(GtkWidget* widget, cairo_t* cr, GtkFormNative* self);
  static gboolean OnDrawPicture(GtkWidget* widget, cairo_t* cr, Peer* peer);
  static gboolean OnDrawContainer(GtkWidget* widget, cairo_t* cr, Peer* peer);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, Peer* peer);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, Peer* peer);
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, Peer* peer);
  static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, GtkFormNative* self);
  static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event,
                                GtkFormNative* self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, GtkFormNative* self);
  static void OnRealize(GtkWidget* widget, GtkFormNative* self);
  static void OnEntryChanged(GtkEditable* editable, Peer* peer);
  static gboolean OnEntryKey(GtkWidget* widget, GdkEventKey* event, Peer* peer);
  static gboolean OnEntryRelease(GtkWidget* widget, GdkEventButton* event, Peer* peer);
  static gboolean OnEntryFocusOut(GtkWidget* widget, GdkEventFocus* event, Peer* peer);

  // Translates a pointer event on `peer` into the form's event, resolving
  // the windowless control under the pointer on the form's own surface.
  void RaiseMouse(Peer& peer, forms::EventKind kind, int button, int shift, double x, double y);
  void UpdateCursor(const forms::Control* hit);
  GdkCursor* CursorFor(const forms::Picture& picture);
  cairo_surface_t* ImageFor(const forms::Control& control);

  GtkPlatform& platform_;
  forms::Form& form_;
  NativeWindow native_;
  GtkWidget* window_ = nullptr;
  GtkWidget* root_ = nullptr;
  GtkWidget* surface_ = nullptr;
  Peer surfacePeer_;
  std::vector<std::unique_ptr<Peer>> peers_;
  std::optional<forms::RoundRectRegion> shape_;
  PangoFontDescription* font_ = nullptr;
  std::map<const forms::Picture*, GdkCursor*> cursors_;
  std::map<const forms::Control*, cairo_surface_t*> images_;
  const forms::Control* cursorOver_ = nullptr;
  bool shownOnce_ = false;
};

}  // namespace gtkplat
