// One form on GTK: a toplevel (undecorated, or a fixed dialog frame) whose
// root is a GtkLayout. The form's own surface (its persistent image, labels
// and images) is a drawing area at the bottom of the root; each control has
// a typed peer (gtk_controls.h). The window itself lives in gtk_form.cpp,
// painting in gtk_paint.cpp, pointer, keyboard and focus in gtk_input.cpp,
// its popup menus in popup_menu.cpp. These files only mirror the model in
// forms/ and pass the user's input in; they decide nothing. Not yet: modal
// forms, centring on the owner.
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

class PeerCore;
struct PopupRun;

// Where a raw pointer event came from: the form's surface (control null) or
// a picture box's own window.
struct PointerSource {
  GtkFormNative* form = nullptr;
  forms::Control* control = nullptr;
  forms::WindowHandle handle = nullptr;
};

class GtkFormNative final : public forms::FormNative {
 public:
  GtkFormNative(GtkPlatform& platform, forms::Form& form);
  ~GtkFormNative() override;

  forms::WindowHandle Handle() override { return native_.Id(); }
  std::unique_ptr<forms::ControlNative> CreateControl(forms::Control& control) override;
  void FormRefresh() override;
  void FormShow() override;
  void FormHide() override;
  void FormSetOuterSize(int widthPx, int heightPx) override;
  void FormSetState(forms::WindowState state) override;
  void ShowPointer(const forms::Control* over) override;
  void FormSetOwner(forms::WindowHandle owner) override;
  void FormActivate() override { Present(); }
  void FormSetIcon(forms::IconHandle icon) override;
  // popup_menu.cpp
  int TrackPopupMenu(const std::vector<forms::PopupItem>& items) override;
  bool ServePopupMenu(const std::vector<forms::PopupItem>& items,
                      const forms::MenuChoice& chosen) override;
  void CancelPopupMenu() override;

  void SetShape(std::optional<forms::RoundRectRegion> shape, bool redraw);
  // The window manager moves the window, following the press in progress.
  void BeginMoveLoop();

  forms::Form& Form() const { return form_; }
  GtkPlatform& Platform() const { return platform_; }
  GtkWindow* Window() const { return GTK_WINDOW(window_); }
  GtkWidget* Surface() const { return surface_; }
  GtkWidget* Root() const { return root_; }
  // The widget a control's children are put into.
  GtkWidget* ContainerWidget(const forms::Control& control) const;
  void InvalidateWindowless(const forms::Control& control);

  // gtk_paint.cpp
  static gboolean OnDrawSurface(GtkWidget* widget, cairo_t* cr, GtkFormNative* self);
  static gboolean OnDrawPicture(GtkWidget* widget, cairo_t* cr, PeerCore* peer);
  static gboolean OnDrawContainer(GtkWidget* widget, cairo_t* cr, PeerCore* peer);
  // A CJK font whose Latin is half as wide as its Chinese, as the
  // classic 12-pixel GUI font is.
  static const char* FontFamily();
  static constexpr int kFontPx = 12;

  // gtk_input.cpp
  static void ConnectPointer(GtkWidget* widget, PointerSource& source);
  static void DisconnectPointer(GtkWidget* widget, PointerSource& source);
  void ConnectKeyboard();
  void FocusFirstStop();
  // gtk_keys.cpp: a key offered to the form's key preview; true when the
  // form used it.
  bool PreviewKey(const GdkEventKey* event);

 private:
  bool Dialog() const { return form_.Design().border == forms::BorderStyle::kFixedDialog; }
  void ApplyDialogFrame();
  void ApplyMinMax();
  void Present();
  // The browsers on this window give back what a hidden page can rebuild.
  void TellBrowsersHidden(bool hidden);
  bool laidOutAfterFirstDraw_ = false;
  void KeepNormalSize();
  static gboolean RestoreNormalSize(gpointer self);

  void PointerInput(const PointerSource& source, const GdkEvent* event);
  PeerCore* PeerOfWidget(GtkWidget* widget) const;
  GdkCursor* CursorFor(const std::shared_ptr<const forms::Picture>& picture);
  cairo_surface_t* ImageFor(const forms::Control& control);
  void PaintWindowless(cairo_t* cr);

  static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, GtkFormNative* self);
  // The new size handed to the form.
  gboolean Sized(const GdkEventConfigure* event);
  static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, GtkFormNative* self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, GtkFormNative* self);
  static void OnRealize(GtkWidget* widget, GtkFormNative* self);
  static gboolean OnPointerButton(GtkWidget* widget, GdkEventButton* event, PointerSource* source);
  static gboolean OnPointerMotion(GtkWidget* widget, GdkEventMotion* event, PointerSource* source);
  static gboolean OnPointerLeave(GtkWidget* widget, GdkEventCrossing* event, PointerSource* source);
  static gboolean OnGrabBroken(GtkWidget* widget, GdkEvent* event, PointerSource* source);
  static void OnUnmap(GtkWidget* widget, PointerSource* source);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, GtkFormNative* self);
  static void OnSetFocus(GtkWindow* window, GtkWidget* widget, GtkFormNative* self);

  GtkPlatform& platform_;
  forms::Form& form_;
  NativeWindow native_;
  GtkWidget* window_ = nullptr;
  GtkWidget* root_ = nullptr;
  GtkWidget* surface_ = nullptr;
  PointerSource surfaceSource_;
  std::optional<forms::RoundRectRegion> shape_;
  Owned<PangoFontDescription, pango_font_description_free> font_;
  // Cursors per picture: the key keeps the picture, so its address is
  // never reused meanwhile.
  std::map<std::shared_ptr<const forms::Picture>, GObjectPtr<GdkCursor>> cursors_;
  int cursorScale_ = 1;  // the window's scale the cursors above were made at
  std::map<const forms::Control*, Owned<cairo_surface_t, cairo_surface_destroy>> images_;
  // The menu TrackPopupMenu runs; it outlives this object only on the stack.
  PopupRun* popup_ = nullptr;
  bool shownOnce_ = false;
  // The monitor the geometry hints were made for; null: the primary's
  // bounds, the window not realized yet.
  GObjectPtr<GdkMonitor> hintsMonitor_;
  // Maximized, or asked to be: the size hints open to the work area.
  bool maximizing_ = false;
  bool hiddenMaximized_ = false;  // maximized when last hidden
  // The size the program gave the window; the window manager may not
  // change it while the window is in its normal state.
  int normalWidth_ = 0;
  int normalHeight_ = 0;
  guint restoreSource_ = 0;
  long long restoreRefused_ = -1;  // the size last answered with a restore request
  // The last pointer event, for the move loop: the window manager wants the
  // button that is down, where the pointer is on the screen, and when.
  guint lastButton_ = 1;
  double lastRootX_ = 0;
  double lastRootY_ = 0;
  guint32 lastTime_ = GDK_CURRENT_TIME;
};

}  // namespace gtkplat
