#include "forms/form.h"

#include <algorithm>

namespace forms {

Color Resolve(Platform& platform, ColorSetting setting) {
  return setting.system ? platform.SystemColor(setting.sys) : setting.rgb;
}

Form::Form(Platform& platform, std::string name)
    : platform_(&platform), name_(std::move(name)), image_(platform.Surfaces()) {}

Form::~Form() {
  dying_ = true;
  SetLinkMode(0);
  Teardown();
}

void Form::Teardown() {
  // Nothing may reach this form through the platform once it is going:
  // unregistered first, then the controls before the window they live in.
  // No handler runs meanwhile, not even for the pointer leaving.
  const bool wasDying = dying_;
  dying_ = true;
  if (native_) platform_->UnregisterForm(*this);
  if (WindowHandle held = platform_->GetCapture(); held && (held == hWnd() || ControlOf(held))) {
    platform_->ReleaseCapture();
  }
  pointer_.Cancel();
  focused_ = nullptr;
  controls_.clear();
  menus_.clear();
  native_.reset();
  visible_ = false;
  owner_ = nullptr;
  dying_ = wasDying;
}

void Form::SetDesign(FormDesign design) {
  design_ = std::move(design);
  widthPx_ = std::max(0, design_.clientWidthPx);
  heightPx_ = std::max(0, design_.clientHeightPx);
  ResizeImage();
  image_.Fill(Resolve(*platform_, design_.backColor));
}

void Form::AddMenus(std::span<const MenuDesign> design) {
  for (auto& root : BuildMenus(*this, design)) menus_.push_back(std::move(root));
}

Menu* Form::FindMenu(std::string_view name) const {
  for (const auto& root : menus_) {
    if (root->Name() == name) return root.get();
    for (const auto& item : root->Items()) {
      if (item->Name() == name) return item.get();
    }
  }
  return nullptr;
}

Control& Form::AddControl(ControlKind kind, std::string name, int index, Control* container,
                          const Control::Design& design) {
  auto control = std::make_unique<Control>(*this, kind, std::move(name), index, container);
  control->ApplyDesign(design);
  controls_.push_back(std::move(control));
  return *controls_.back();
}

void Form::CreateNative() {
  if (native_) return;
  native_ = platform_->CreateFormNative(*this);
  ++loads_;
  platform_->RegisterForm(*this);
  if (icon_) native_->FormSetIcon(icon_);
  for (auto& control : controls_) control->AttachNative(native_->CreateControl(*control));
}

void Form::Load() { CreateNative(); }

void Form::Unload() {
  if (!native_ || dying_) return;
  if (popups_ > 0) {
    // The menu loop still runs on this window: close it, and go once the
    // popup call has returned.
    if (unloadPending_) return;
    unloadPending_ = true;
    native_->CancelPopupMenu();
    return;
  }
  StopServing();
  Teardown();
  OnUnloaded();
}

void Form::NativeCloseRequest(UnloadMode mode) {
  if (dying_ || !native_) return;
  int cancel = 0;
  OnQueryUnload(cancel, mode);
  if (cancel == 0) Unload();
}

void Form::SetIcon(IconHandle icon) {
  icon_ = icon;
  if (native_) native_->FormSetIcon(icon);
}

void Form::Show(int modal, Form* owner) {
  (void)modal;  // modeless only
  Load();
  if (!native_) return;
  owner_ = owner != this ? owner : nullptr;
  native_->FormSetOwner(owner_ ? owner_->hWnd() : nullptr);
  SetVisible(true);
}

void Form::SetFocus() {
  if (!native_ || !visible_) return;
  native_->FormActivate();
  Control* target = focused_ ? focused_ : NextInTabOrder(nullptr, false);
  if (target && target->Native()) target->Native()->Focus();
}

namespace {

// What a popup shows of a root: its visible items, in order.
std::vector<const Menu*> ShownItems(const Menu& menu) {
  std::vector<const Menu*> shown;
  for (const auto& item : menu.Items()) {
    if (item->Visible()) shown.push_back(item.get());
  }
  return shown;
}

void RaiseMenuClick(Form& form, const Menu* item) {
  if (item->Separator()) return;
  Event click;
  click.kind = EventKind::kClick;
  click.menu = item;
  form.Raise(click);
}

}  // namespace

bool Form::PopupMenu(Menu& menu) {
  if (!native_ || dying_) return false;
  const std::vector<const Menu*> sources = ShownItems(menu);
  if (sources.empty()) return false;
  std::vector<PopupItem> items;
  for (const Menu* item : sources) items.push_back({item->Caption(), item->Separator()});
  // The menu belongs to its own form, which may unload while the menu loop
  // runs; then its items are gone and nothing is run.
  Form& menuForm = menu.Owner();
  const MenuChoice later = [&menuForm, root = menu.Name()](int index) {
    menuForm.ChooseMenuItem(root, index);
  };
  if (native_->ServePopupMenu(items, later)) return true;
  const std::uint64_t menuLoad = menuForm.LoadCount();
  ++popups_;
  const int chosen = native_->TrackPopupMenu(items);
  --popups_;
  if (unloadPending_ && popups_ == 0) {
    unloadPending_ = false;
    Unload();
    return true;
  }
  if (chosen < 0 || chosen >= static_cast<int>(sources.size())) return true;
  if (!menuForm.Loaded() || menuForm.LoadCount() != menuLoad) return true;
  RaiseMenuClick(menuForm, sources[chosen]);
  return true;
}

void Form::ChooseMenuItem(const std::string& menu, int index) {
  if (dying_) return;
  Load();
  const Menu* root = FindMenu(menu);
  if (!root || !native_) return;
  const std::vector<const Menu*> shown = ShownItems(*root);
  if (index < 0 || index >= static_cast<int>(shown.size())) return;
  RaiseMenuClick(*this, shown[index]);
}

WindowHandle Form::hWnd() const { return native_ ? native_->Handle() : nullptr; }

Control* Form::Find(const std::string& name, int index) const {
  for (const auto& control : controls_) {
    if (control->Name() == name && control->Index() == index) return control.get();
  }
  return nullptr;
}

Control* Form::ControlOf(WindowHandle window) const {
  if (!window) return nullptr;
  for (const auto& control : controls_) {
    if (control->hWnd() == window) return control.get();
  }
  return nullptr;
}

bool Form::Owns(const Control* control) const {
  if (!control) return false;
  for (const auto& c : controls_) {
    if (c.get() == control) return true;
  }
  return false;
}

Control* Form::NextInTabOrder(const Control* from, bool backwards) const {
  std::vector<Control*> order;
  for (const auto& c : controls_) {
    if (c->Focusable() && c->Showing()) order.push_back(c.get());
  }
  if (order.empty()) return nullptr;
  std::stable_sort(order.begin(), order.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
  const int n = static_cast<int>(order.size());
  int at = -1;
  for (int i = 0; i < n; ++i) {
    if (order[i] == from) at = i;
  }
  if (at < 0) {
    // From outside the order: the first stop whose TabIndex follows it.
    const int after = from ? from->TabIndex() : -1;
    if (backwards) {
      for (int i = n - 1; i >= 0; --i) {
        if (order[i]->TabIndex() < after) return order[i];
      }
      return order[n - 1];
    }
    for (int i = 0; i < n; ++i) {
      if (order[i]->TabIndex() > after) return order[i];
    }
    return order[0];
  }
  return order[(at + (backwards ? n - 1 : 1)) % n];
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
  if (!visible) pointer_.Cancel();
  if (!native_) return;
  if (visible) {
    native_->FormShow();
  } else {
    native_->FormHide();
  }
}

void Form::Cls() { image_.Fill(Resolve(*platform_, design_.backColor)); }

void Form::Refresh() {
  if (native_) native_->FormRefresh();
}

void Form::ResizeImage() {
  // The persistent image covers the largest client area seen so far, as the
  // runtime's does; only the visible part is ever shown.
  image_.Resize(std::max(widthPx_, image_.Width()), std::max(heightPx_, image_.Height()),
                Resolve(*platform_, design_.backColor));
}

void Form::NativeSized(int clientWidthPx, int clientHeightPx) {
  if (dying_) return;
  clientWidthPx = std::max(0, clientWidthPx);
  clientHeightPx = std::max(0, clientHeightPx);
  if (clientWidthPx == widthPx_ && clientHeightPx == heightPx_) return;
  widthPx_ = clientWidthPx;
  heightPx_ = clientHeightPx;
  ResizeImage();
  OnResize();
}

void Form::NativeVisible(bool visible) {
  if (dying_) return;
  visible_ = visible;
  if (!visible) pointer_.Cancel();
}

void Form::NativeFocus(Control* control) {
  if (dying_) return;
  if (control && !Owns(control)) control = nullptr;
  Control* previous = focused_;
  focused_ = control;
  // Focus that leaves the form entirely (another program, a hidden window)
  // comes back to the same control: only a move inside it is a loss.
  if (previous && control && previous != control) {
    Event lost;
    lost.kind = EventKind::kLostFocus;
    lost.source = previous;
    Raise(lost);
  }
}

void Form::NativeState(WindowState state) {
  if (dying_) return;
  if (state == state_) return;
  state_ = state;
  OnResize();
}

void Form::SetLinkTopic(std::string topic) {
  if (topic == linkTopic_) return;
  // A served topic moves to its new name.
  const bool wasServing = serving_;
  StopServing();
  linkTopic_ = std::move(topic);
  if (wasServing) StartLink();
}

void Form::SetLinkMode(int mode) {
  if (mode != 1) StopServing();
  linkMode_ = mode == 1 ? 1 : 0;
}

void Form::StopServing() {
  if (!serving_) return;
  Os().Link().StopServing(Os().AppTitle(), linkTopic_);
  serving_ = false;
}

void Form::StartLink() {
  if (serving_ || linkMode_ != 1 || linkTopic_.empty() || Os().AppTitle().empty()) return;
  serving_ = Os().Link().Serve(Os().AppTitle(), linkTopic_, [this](std::string_view command) {
    return NativeLinkExecute(command);
  });
}

bool Form::NativeLinkExecute(std::string_view command) {
  if (dying_) return false;
  // Refused unless the handler accepts it, as the runtime does.
  int cancel = 1;
  Event event;
  event.kind = EventKind::kLinkExecute;
  event.text = command;
  event.cancel = &cancel;
  OnEvent(event);
  return cancel == 0;
}

bool Form::NativeKeyDown(int keyCode, int shift) {
  if (dying_ || keyCode == 0) return false;
  NativeKeyboardUsed();
  if (keyPreview_) {
    int code = keyCode;
    Event event;
    event.kind = EventKind::kKeyDown;
    event.keyCode = &code;
    event.shift = shift;
    OnEvent(event);
    if (code == 0) return true;
  }
  if ((keyCode == kVkReturn || keyCode == kVkSpace) && shift == 0 && focused_ && !dying_) {
    return focused_->DoDefaultAction();
  }
  return false;
}

void Form::NativeKeyboardUsed() {
  if (focusCues_ || dying_) return;
  focusCues_ = true;
  if (focused_ && focused_->Native()) focused_->Native()->Refresh();
}

}  // namespace forms
