#include "forms/control.h"

#include <algorithm>

#include "forms/form.h"

namespace forms {

Control::Control(Form& form, ControlKind kind, std::string name, int index, Control* container)
    : form_(&form),
      kind_(kind),
      name_(std::move(name)),
      index_(index),
      container_(container),
      image_(form.Os().Surfaces()) {}

Control::~Control() = default;

void Control::AttachNative(std::unique_ptr<ControlNative> native) { native_ = std::move(native); }

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->Container()) {
    if (!c->Visible()) return false;
  }
  return true;
}

PointL Control::OriginInForm() const {
  PointL p;
  for (const Control* c = this; c; c = c->Container()) {
    p.x += c->Left();
    p.y += c->Top();
  }
  return p;
}

void Control::ApplyDesign(const Design& design) {
  rect_ = design.rect;
  rect_.width = std::max(0, rect_.width);
  rect_.height = std::max(0, rect_.height);
  visible_ = design.visible;
  backColor_ = design.backColor;
  foreColor_ = design.foreColor;
  text_ = design.text;
  pointer_ = design.pointer;
  autoRedraw_ = design.autoRedraw;
  autoSize_ = design.autoSize;
  scaleMode_ = design.scaleMode;
  tabIndex_ = design.tabIndex;
  picture_ = design.picture;
  mouseIcon_ = design.mouseIcon;
  if (picture_ && picture_->Valid() && kind_ == ControlKind::kImage) {
    // An image control always takes the size of its picture.
    rect_.width = picture_->width;
    rect_.height = picture_->height;
  }
  if (autoRedraw_) {
    image_.Reset(rect_.width, rect_.height, Resolve(form_->Os(), backColor_));
  }
}

void Control::Move(int left, int top, std::optional<int> width, std::optional<int> height) {
  rect_.left = left;
  rect_.top = top;
  if (width) rect_.width = std::max(0, *width);
  if (height) rect_.height = std::max(0, *height);
  ResizeImage();
  if (native_) native_->Moved();
}

void Control::ResizeImage() {
  if (!autoRedraw_) return;
  // Like the runtime's persistent bitmap, the image only ever grows, so a
  // control shrunk and enlarged again still shows what was drawn into it.
  const int w = std::max(rect_.width, image_.Width());
  const int h = std::max(rect_.height, image_.Height());
  image_.Resize(w, h, Resolve(form_->Os(), backColor_));
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible) form_->Pointer().Forget(*this);
  if (native_) native_->VisibilityChanged();
}

void Control::SetForeColor(ColorSetting color) {
  if (foreColor_ == color) return;
  foreColor_ = color;
  if (native_) native_->Refresh();
}

void Control::SetAccessible(AccRole role, std::string name) {
  if (role_ == role && accName_ == name) return;
  role_ = role;
  accName_ = std::move(name);
  if (native_) native_->AccessibilityChanged();
}

void Control::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  if (native_) native_->AccessibilityChanged();
}

bool Control::HasDefaultAction() const {
  return Exposed() && (role_ == AccRole::kPushButton || role_ == AccRole::kRadioButton ||
                       role_ == AccRole::kLink);
}

bool Control::DoDefaultAction() {
  if (!HasDefaultAction()) return false;
  // Exactly what a left click does: the same event to the same handler.
  Event click;
  click.kind = EventKind::kClick;
  click.source = this;
  form_->Raise(click);
  return true;
}

void Control::SetMouseIcon(std::shared_ptr<const Picture> icon) {
  if (mouseIcon_ == icon) return;
  mouseIcon_ = std::move(icon);
  if (native_) native_->Refresh();
  form_->Pointer().PointerChanged(*this);
}

void Control::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  // A selection beyond the new end shrinks with it.
  const int chars = CharCount(text_);
  selStart_ = std::min(selStart_, chars);
  selLength_ = std::min(selLength_, chars - selStart_);
  if (native_) native_->TextChanged();
}

int CharCount(std::string_view utf8) {
  // Continuation bytes (10xxxxxx) do not start a character.
  return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void Control::SetSelStart(int start) {
  if (kind_ != ControlKind::kTextBox) return;
  selStart_ = std::clamp(start, 0, CharCount(text_));
  selLength_ = 0;
  if (native_) native_->SelectionChanged();
}

void Control::SetSelLength(int length) {
  if (kind_ != ControlKind::kTextBox) return;
  selLength_ = std::clamp(length, 0, CharCount(text_) - selStart_);
  if (native_) native_->SelectionChanged();
}

void Control::SetFocus() {
  if (native_ && Focusable() && Showing()) native_->Focus();
}

Dc Control::hDC() { return autoRedraw_ ? &image_ : nullptr; }

void Control::Refresh() {
  if (!native_) return;
  if (BrowserNative* browser = native_->Browser()) {
    browser->Reload();
  } else {
    native_->Refresh();
  }
}

void Control::LoadPicture(const Picture& picture) {
  if (!autoRedraw_ || !picture.Valid()) return;
  if (autoSize_) {
    rect_.width = picture.width;
    rect_.height = picture.height;
  }
  image_.Reset(std::max(rect_.width, picture.width), std::max(rect_.height, picture.height),
               Resolve(form_->Os(), backColor_));
  Surface source;
  source.Assign(picture.width, picture.height, picture.pixels);
  PortableBitBlt(&image_, 0, 0, picture.width, picture.height, &source, 0, 0, kSrcCopy);
  if (native_) native_->Moved();
}

namespace {

BrowserNative* BrowserOf(ControlNative* native) { return native ? native->Browser() : nullptr; }

}  // namespace

void Control::Navigate(const std::string& url) {
  if (BrowserNative* browser = BrowserOf(native_.get())) browser->Navigate(url);
}

bool Control::GoBack() {
  BrowserNative* browser = BrowserOf(native_.get());
  return browser && browser->GoBack();
}

bool Control::GoForward() {
  BrowserNative* browser = BrowserOf(native_.get());
  return browser && browser->GoForward();
}

void Control::SetSilent(bool silent) {
  BrowserNative* browser = BrowserOf(native_.get());
  if (!browser) return;
  silent_ = silent;
  browser->SetSilent(silent);
}

DocumentHandle Control::Document() {
  BrowserNative* browser = BrowserOf(native_.get());
  return browser ? browser->Document() : nullptr;
}

void Control::ConnectDocument(DocumentHandle document) {
  if (BrowserNative* browser = BrowserOf(native_.get())) browser->ConnectDocument(document);
}

void Control::Stop() {
  if (BrowserNative* browser = BrowserOf(native_.get())) browser->Stop();
}

void Control::ShowErrorPage(const std::string& html, const std::string& address) {
  if (BrowserNative* browser = BrowserOf(native_.get())) browser->ShowErrorPage(html, address);
}

bool Control::SetLinkMode(int mode) {
  if (mode != 0 && mode != 2) return false;  // a control is a client or nothing
  std::string_view application, topic;
  if (mode == 2 && !SplitLinkTopic(linkTopic_, application, topic)) return false;
  linkMode_ = mode;
  return true;
}

bool Control::LinkExecute(std::string_view command) {
  std::string_view application, topic;
  if (linkMode_ != 2 || !SplitLinkTopic(linkTopic_, application, topic)) return false;
  return form_->Os().Link().Execute(application, topic, BoundedCommand(command), kLinkTimeoutMs);
}

}  // namespace forms
