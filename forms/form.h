// A top-level form: its controls, its own persistent image, its outer size in
// twips and its window state. Subclasses are the program's windows; they get
// every user event through OnEvent and size changes through OnResize.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/platform.h"
#include "forms/pointer.h"
#include "forms/surface.h"
#include "forms/types.h"

namespace forms {

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

  const std::string& Caption() const { return caption_; }
  ColorSetting BackColor() const { return backColor_; }

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
  void Hide() { SetVisible(false); }

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
  void Raise(const Event& event) {
    if (!dying_) OnEvent(event);
  }
  // True from the start of the form's destruction: the program's side is
  // gone, so nothing the backend reports may reach it.
  bool Dying() const { return dying_; }

 protected:
  Control& AddControl(ControlKind kind, std::string name, int index, Control* container,
                      const Control::Design& design);
  void SetDesign(std::string caption, ColorSetting backColor, int widthPx, int heightPx);

  virtual void OnEvent(const Event& event) = 0;
  virtual void OnResize() {}

 private:
  void ResizeImage();
  void StopServing();

  Platform* platform_;
  std::string name_;
  std::string caption_;
  ColorSetting backColor_;
  int widthPx_ = 0;
  int heightPx_ = 0;
  WindowState state_ = WindowState::kNormal;
  bool visible_ = false;
  Surface image_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::unique_ptr<FormNative> native_;
  PointerRouter pointer_{*this};
  Control* focused_ = nullptr;
  bool dying_ = false;
  std::string linkTopic_;
  int linkMode_ = 0;
  bool serving_ = false;
};

// Resolves a colour setting against the platform's colour scheme.
Color Resolve(Platform& platform, ColorSetting setting);

}  // namespace forms
