#include "forms/form.h"

#include <algorithm>

namespace forms {

Color Resolve(Platform& platform, ColorSetting setting) {
  return setting.system ? platform.SystemColor(setting.sys) : setting.rgb;
}

Form::Form(Platform& platform, std::string name)
    : platform_(&platform), name_(std::move(name)), image_(platform.Surfaces()) {}

Form::~Form() = default;

void Form::SetDesign(std::string caption, ColorSetting backColor, int widthPx, int heightPx) {
  caption_ = std::move(caption);
  backColor_ = backColor;
  widthPx_ = std::max(0, widthPx);
  heightPx_ = std::max(0, heightPx);
  ResizeImage();
  image_.Fill(Resolve(*platform_, backColor_));
}

Control& Form::AddControl(ControlKind kind, std::string name, int index, Control* container,
                          const Control::Design& design) {
  auto control = std::make_unique<Control>(*this, kind, std::move(name), index, container);
  control->ApplyDesign(design);
  controls_.push_back(std::move(control));
  return *controls_.back();
}

void Form::CreateNative() {
  native_ = platform_->CreateFormNative(*this);
  for (auto& control : controls_) native_->CreateControl(*control);
}

WindowHandle Form::hWnd() const { return native_ ? native_->Handle() : nullptr; }

Control* Form::Find(const std::string& name, int index) const {
  for (const auto& control : controls_) {
    if (control->Name() == name && control->Index() == index) return control.get();
  }
  return nullptr;
}

Control* Form::WindowlessAt(int x, int y) const {
  // Later controls lie above earlier ones.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    const Control& c = **it;
    const bool windowless = c.Kind() == ControlKind::kLabel || c.Kind() == ControlKind::kImage;
    if (!windowless || !c.Visible() || c.Container()) continue;
    if (x >= c.Left() && x < c.Left() + c.Width() && y >= c.Top() && y < c.Top() + c.Height()) {
      return it->get();
    }
  }
  return nullptr;
}

void Form::SetWidth(int twips) {
  const int px = std::max(0, twips / Os().TwipsPerPixelX());
  if (native_) native_->FormSetOuterSize(px, heightPx_);
  NativeSized(px, heightPx_);
}

void Form::SetHeight(int twips) {
  const int px = std::max(0, twips / Os().TwipsPerPixelY());
  if (native_) native_->FormSetOuterSize(widthPx_, px);
  NativeSized(widthPx_, px);
}

void Form::SetWindowState(WindowState state) {
  if (native_) native_->FormSetState(state);
  NativeState(state);
}

void Form::SetVisible(bool visible) {
  visible_ = visible;
  if (!native_) return;
  if (visible) {
    native_->FormShow();
  } else {
    native_->FormHide();
  }
}

void Form::Cls() { image_.Fill(Resolve(*platform_, backColor_)); }

void Form::Refresh() {
  if (native_) native_->FormRefresh();
}

void Form::ResizeImage() {
  // The persistent image covers the largest client area seen so far, as the
  // runtime's does; only the visible part is ever shown.
  image_.Resize(std::max(widthPx_, image_.Width()), std::max(heightPx_, image_.Height()),
                Resolve(*platform_, backColor_));
}

void Form::NativeSized(int clientWidthPx, int clientHeightPx) {
  clientWidthPx = std::max(0, clientWidthPx);
  clientHeightPx = std::max(0, clientHeightPx);
  if (clientWidthPx == widthPx_ && clientHeightPx == heightPx_) return;
  widthPx_ = clientWidthPx;
  heightPx_ = clientHeightPx;
  ResizeImage();
  OnResize();
}

void Form::NativeState(WindowState state) {
  if (state == state_) return;
  state_ = state;
  OnResize();
}

}  // namespace forms
