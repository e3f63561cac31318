// A top-level form: its controls, its own persistent image, its outer size in
// twips and its window state. Subclasses are the program's windows; they get
// every user event through OnEvent and size changes through OnResize.
// A form is loaded while it has its native window; the program ends when
// the last loaded form unloads.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/menu.h"
#include "forms/platform.h"
#include "forms/pointer.h"
#include "forms/surface.h"
#include "forms/types.h"

namespace forms {

enum class BorderStyle { kNone = 0, kFixedDialog = 3 };
enum class StartUpPosition { kManual = 0, kCenterOwner = 1, kCenterScreen = 2 };

// What the window looks like to the system, fixed at design time.
struct FormDesign {
  std::string caption;
  ColorSetting backColor = ColorSetting::System(SysColor::kButtonFace);
  int clientWidthPx = 0;
  int clientHeightPx = 0;
  // A fixed dialog frame: title bar with a close box, no resizing, no
  // minimize or maximize button. None: the client area is the whole window.
  BorderStyle border = BorderStyle::kNone;
  bool showInTaskbar = true;
  StartUpPosition startUpPosition = StartUpPosition::kManual;
};

class Form {
 public:
  Form(Platform& platform, std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Platform& Os() const { return *platform_; }
  const std::string& Name() const { return name_; }

  // Creates the native window and one peer per control, in creation order.
  void CreateNative();
  FormNative* Native() const { return native_.get(); }
  WindowHandle hWnd() const;

  // Loads the form hidden if it is not loaded: by default just its native
  // window; forms that build their controls on load override it.
  virtual void Load();
  bool Loaded() const { return native_ != nullptr; }
  // Counts loads, so a caller can tell the form it saw has gone meanwhile.
  std::uint64_t LoadCount() const { return loads_; }
  // Destroys the native window, the controls and the menus; nothing of the
  // form's run-time state survives. A popup menu of this form still open is
  // closed first and the form unloads once it has returned.
  void Unload();
  // The system asks the form to close: OnQueryUnload may cancel; otherwise
  // the form unloads.
  void NativeCloseRequest(UnloadMode mode);

  const FormDesign& Design() const { return design_; }
  const std::string& Caption() const { return design_.caption; }
  ColorSetting BackColor() const { return design_.backColor; }

  IconHandle Icon() const { return icon_; }
  void SetIcon(IconHandle icon);

  // Outer size in twips; a borderless form's client area is the whole window.
  int Width() const { return widthPx_ * Os().TwipsPerPixelX(); }
  int Height() const { return heightPx_ * Os().TwipsPerPixelY(); }
  void SetWidth(int twips);
  void SetHeight(int twips);
  int ScaleWidth() const { return widthPx_; }
  int ScaleHeight() const { return heightPx_; }

  WindowState State() const { return state_; }
  void SetWindowState(WindowState state);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  // Modeless (0) only; an owner keeps the window above it and out of the
  // taskbar. Loads the form first if needed.
  void Show(int modal, Form* owner);
  void Hide() { SetVisible(false); }
  Form* OwnerForm() const { return owner_; }
  // To the front with the keyboard focus, on the first control in tab order.
  void SetFocus();

  // Menus: the roots, a root or item by name, and popping one up.
  const std::vector<std::unique_ptr<Menu>>& Menus() const { return menus_; }
  Menu* FindMenu(std::string_view name) const;
  // Pops `menu`'s items up at the pointer and returns after the chosen
  // item's Click has run on the menu's own form (if that is still loaded);
  // false when nothing could be shown.
  // A host that drew the menu itself reports the choice later, through
  // ChooseMenuItem.
  bool PopupMenu(Menu& menu);
  // The `index`-th shown item of the root `menu` was chosen: its Click runs,
  // the form loaded again, hidden, if it has gone meanwhile.
  void ChooseMenuItem(const std::string& menu, int index);

  Dc hDC() { return &image_; }
  Surface& Image() { return image_; }
  void Cls();
  void Refresh();

  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Control* Find(const std::string& name, int index = -1) const;
  // The control whose window is `window`; null for none of this form's.
  Control* ControlOf(WindowHandle window) const;
  bool Owns(const Control* control) const;

  // A link source (LinkMode 1) serves LinkTopic under the application's
  // title while the form is loaded; LinkMode 0 serves nothing.
  const std::string& LinkTopic() const { return linkTopic_; }
  void SetLinkTopic(std::string topic);
  int LinkMode() const { return linkMode_; }
  void SetLinkMode(int mode);
  // Starts serving once the form is loaded, as its design asks.
  void StartLink();

  // Pointer input and capture.
  PointerRouter& Pointer() { return pointer_; }

  // Keyboard focus: the control that has it, and the next one in tab order
  // (visible, with a window, a TabIndex of its own), wrapping around.
  Control* Focused() const { return focused_; }
  Control* NextInTabOrder(const Control* from, bool backwards) const;
  // With KeyPreview the form sees keys before its controls, as kKeyDown
  // with no source.
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool preview) { keyPreview_ = preview; }
  // Focus cues show once the keyboard has been used in the form, as
  // Windows hides them until a key is pressed: a pointer user sees the
  // skin exactly as drawn.
  bool FocusCues() const { return focusCues_; }

  // Entry points for the backend.
  void NativeSized(int clientWidthPx, int clientHeightPx);
  void NativeState(WindowState state);
  void NativeVisible(bool visible);
  // The focus moved inside the program to `control` (null: to a window of
  // ours without a control). A control losing it to another of the same
  // form gets LostFocus; switching programs or hiding reports nothing here.
  void NativeFocus(Control* control);
  // A command arrived for the served topic; true when it was accepted.
  bool NativeLinkExecute(std::string_view command);
  // A key went down (a virtual key code, shift 1 / ctrl 2 / alt 4): true
  // when the form used it and the backend should swallow it. After the
  // form's preview, Enter and Space work the focused button, category or
  // link as its click.
  bool NativeKeyDown(int keyCode, int shift);
  // A key went down anywhere in the form, the keys the backend keeps for
  // itself (Tab) included: from now on focus cues show.
  void NativeKeyboardUsed();
  void Raise(const Event& event) {
    if (!dying_) OnEvent(event);
  }
  // True from the start of the form's destruction: the program's side is
  // gone, so nothing the backend reports may reach it.
  bool Dying() const { return dying_; }

 protected:
  Control& AddControl(ControlKind kind, std::string name, int index, Control* container,
                      const Control::Design& design);
  void SetDesign(FormDesign design);
  void AddMenus(std::span<const MenuDesign> design);

  virtual void OnEvent(const Event& event) = 0;
  virtual void OnResize() {}
  // Set `cancel` to non-zero to keep the form loaded.
  virtual void OnQueryUnload(int& cancel, UnloadMode mode) {
    (void)cancel;
    (void)mode;
  }
  // After an unload: the controls and menus are gone; drop pointers to them.
  virtual void OnUnloaded() {}

 private:
  void ResizeImage();
  void StopServing();
  void Teardown();

  Platform* platform_;
  std::string name_;
  FormDesign design_;
  int widthPx_ = 0;
  int heightPx_ = 0;
  WindowState state_ = WindowState::kNormal;
  bool visible_ = false;
  Surface image_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::unique_ptr<FormNative> native_;
  PointerRouter pointer_{*this};
  Control* focused_ = nullptr;
  bool keyPreview_ = false;
  bool focusCues_ = false;
  bool dying_ = false;
  IconHandle icon_ = nullptr;
  Form* owner_ = nullptr;
  std::vector<std::unique_ptr<Menu>> menus_;
  std::uint64_t loads_ = 0;
  int popups_ = 0;
  bool unloadPending_ = false;
  std::string linkTopic_;
  int linkMode_ = 0;
  bool serving_ = false;
};

// Resolves a colour setting against the platform's colour scheme.
Color Resolve(Platform& platform, ColorSetting setting);

}  // namespace forms
