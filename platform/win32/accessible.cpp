// Microsoft Active Accessibility on Win32: one IAccessible of ours per
// form window and per control, answering from the control's portable role,
// name, checked state and default action. Implemented: name, role, state,
// value (the text box), default action, location, parent, children (the
// exposed controls, windowless labels and images included, the layout-only
// boxes between them left out), navigation among siblings, hit testing,
// focus, taking the focus, and the change events. Not yet: spatial
// navigation (up, down, left, right), descriptions, keyboard shortcuts.
// A control that is not exposed (a hidden one, a skin holder, a layout
// box) answers no name, role or action and appears in no parent's list.
// Nothing here runs program code inside a COM call: actions are posted to
// the form's window and run there.
#include "platform/win32/accessible.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32_form.h"
#include "platform/win32/win32_util.h"

namespace win32 {
namespace {

// oleacc's IID, written out: MinGW's import library resolves the data
// symbol IID_IAccessible to a thunk, and a QueryInterface comparing with
// that would never match.
constexpr IID kIidAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

LONG RoleOf(forms::AccRole role) {
  using R = forms::AccRole;
  switch (role) {
    case R::kGroup: return ROLE_SYSTEM_GROUPING;
    case R::kPushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case R::kRadioButton: return ROLE_SYSTEM_RADIOBUTTON;
    case R::kEntry: return ROLE_SYSTEM_TEXT;
    case R::kLink: return ROLE_SYSTEM_LINK;
    case R::kStaticText: return ROLE_SYSTEM_STATICTEXT;
    case R::kImage: return ROLE_SYSTEM_GRAPHIC;
    case R::kPageArea: return ROLE_SYSTEM_PANE;
    case R::kNone: break;
  }
  return 0;
}

// The verbs a Chinese Windows reads for the same roles.
const wchar_t* ActionOf(forms::AccRole role) {
  switch (role) {
    case forms::AccRole::kRadioButton: return L"选中";
    case forms::AccRole::kLink: return L"跳转";
    default: return L"按";
  }
}

// The nearest exposed container; null for the form.
forms::Control* ExposedParent(const forms::Control& control) {
  for (forms::Control* c = control.Container(); c; c = c->Container()) {
    if (c->Exposed()) return c;
  }
  return nullptr;
}

// What a reader lists under `parent` (null: the form), in Tab order, which
// is the frame's reading order.
std::vector<forms::Control*> ExposedChildren(const forms::Form& form, const forms::Control* parent) {
  std::vector<forms::Control*> children;
  for (const auto& c : form.Controls()) {
    if (c->Exposed() && ExposedParent(*c) == parent) children.push_back(c.get());
  }
  std::stable_sort(children.begin(), children.end(),
                   [](const forms::Control* a, const forms::Control* b) {
                     return a->TabIndex() < b->TabIndex();
                   });
  return children;
}

bool HasOwnWindow(const forms::Control& control) {
  HWND window = control.hWnd();
  return window && IsWindow(window);
}

HRESULT PutString(BSTR* out, const std::wstring& text) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

template <typename F>
HRESULT Safely(F&& body) {
  try {
    return body();
  } catch (...) {
    return E_FAIL;
  }
}

class Accessible final : public IAccessible {
 public:
  // `control` null: the form's client area.
  Accessible(HWND form, forms::Control* control) : form_(form), control_(control) {
    HWND own = control && HasOwnWindow(*control) ? control->hWnd() : form;
    CreateStdAccessibleObject(own, OBJID_CLIENT, kIidAccessible, std_.PutVoid());
  }

  static VARIANT Object(HWND form, forms::Control* control) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = new Accessible(form, control);
    return v;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: readers call IAccessible directly; there is no type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    if (out) VariantInit(out);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override;
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h,
                                        VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~Accessible() = default;

  // Runs `body(form, target)` for `child` while the form and this object's
  // control are there: not connected once they have gone, E_INVALIDARG for
  // a child there is no such.
  template <class F>
  HRESULT OnChild(VARIANT child, F&& body) {
    return Safely([&]() -> HRESULT {
      Win32FormNative* form = Live();
      if (!form) return CO_E_OBJNOTCONNECTED;
      forms::Control* target = nullptr;
      if (!Target(child, form->Model(), target)) return E_INVALIDARG;
      return body(*form, target);
    });
  }
  // The form, while it and this object's control are still there.
  Win32FormNative* Live() const {
    Win32FormNative* form = Win32FormNative::FromWindow(form_);
    if (!form || (control_ && !form->Model().Owns(control_))) return nullptr;
    return form;
  }
  // The page area's insides are the browser's own windows: the system's
  // object lists them.
  bool ChildrenAreWindows() const {
    return control_ && control_->Role() == forms::AccRole::kPageArea && std_;
  }
  // What `child` names: this object (self) or one of its children. False
  // for an id out of range.
  bool Target(const VARIANT& child, const forms::Form& form, forms::Control*& target) const;
  bool Locate(const forms::Control* target, RECT& screen) const;
  HRESULT Sibling(Win32FormNative& form, const forms::Control* from, int step, VARIANT* out) const;

  LONG refs_ = 1;
  HWND form_;
  forms::Control* control_;
  ComPtr<IAccessible> std_;  // the system's object for the same window
};

bool Accessible::Target(const VARIANT& child, const forms::Form& form,
                        forms::Control*& target) const {
  if (child.vt != VT_I4) return false;
  if (child.lVal == CHILDID_SELF) {
    target = control_;
    return true;
  }
  const auto children = ExposedChildren(form, control_);
  if (child.lVal < 1 || child.lVal > static_cast<LONG>(children.size())) return false;
  target = children[child.lVal - 1];
  return true;
}

bool Accessible::Locate(const forms::Control* target, RECT& screen) const {
  if (!target) {
    if (!GetClientRect(form_, &screen)) return false;
  } else if (HasOwnWindow(*target)) {
    return GetWindowRect(target->hWnd(), &screen);
  } else {
    // Windowless: the area painted on the form's surface, in device pixels.
    Win32FormNative* form = Live();
    if (!form) return false;
    const RECT design = form->WindowlessArea(*target);
    const forms::DeviceScale& scale = form->Scale();
    screen = {scale.ToDevice(design.left), scale.ToDevice(design.top),
              scale.ToDevice(design.right), scale.ToDevice(design.bottom)};
  }
  MapWindowPoints(form_, HWND_DESKTOP, reinterpret_cast<POINT*>(&screen), 2);
  return true;
}

HRESULT Accessible::get_accParent(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Safely([&]() -> HRESULT {
    if (!Live()) return CO_E_OBJNOTCONNECTED;
    if (!control_) return std_ ? std_->get_accParent(out) : S_FALSE;
    *out = new Accessible(form_, ExposedParent(*control_));
    return S_OK;
  });
}

HRESULT Accessible::get_accChildCount(LONG* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return Safely([&]() -> HRESULT {
    Win32FormNative* form = Live();
    if (!form) return CO_E_OBJNOTCONNECTED;
    if (ChildrenAreWindows()) return std_->get_accChildCount(count);
    *count = static_cast<LONG>(ExposedChildren(form->Model(), control_).size());
    return S_OK;
  });
}

HRESULT Accessible::get_accChild(VARIANT child, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Safely([&]() -> HRESULT {
    Win32FormNative* form = Live();
    if (!form) return CO_E_OBJNOTCONNECTED;
    if (ChildrenAreWindows()) return std_->get_accChild(child, out);
    forms::Control* target = nullptr;
    if (!Target(child, form->Model(), target)) return E_INVALIDARG;
    if (target == control_) return S_FALSE;
    *out = new Accessible(form_, target);
    return S_OK;
  });
}

HRESULT Accessible::get_accName(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return OnChild(child, [&](Win32FormNative& form, forms::Control* target) -> HRESULT {
    if (!target) return PutString(out, Widen(form.Model().Caption()));
    if (!target->Exposed() || target->AccName().empty()) return S_FALSE;
    return PutString(out, Widen(target->AccName()));
  });
}

HRESULT Accessible::get_accValue(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    // The text box's value is what it holds, the name being what it is for.
    if (!target || !target->Exposed() || target->Role() != forms::AccRole::kEntry) {
      return DISP_E_MEMBERNOTFOUND;
    }
    return PutString(out, Widen(target->Text()));
  });
}

HRESULT Accessible::get_accRole(VARIANT child, VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    const LONG role = target ? (target->Exposed() ? RoleOf(target->Role()) : 0) : ROLE_SYSTEM_CLIENT;
    if (role == 0) return DISP_E_MEMBERNOTFOUND;
    out->vt = VT_I4;
    out->lVal = role;
    return S_OK;
  });
}

HRESULT Accessible::get_accState(VARIANT child, VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    LONG state = 0;
    HWND own = target && HasOwnWindow(*target) ? target->hWnd() : (target ? nullptr : form_);
    if (target ? !target->Showing() || !IsWindowVisible(form_) : !IsWindowVisible(form_)) {
      state |= STATE_SYSTEM_INVISIBLE;
    }
    if (own && !IsWindowEnabled(own)) state |= STATE_SYSTEM_UNAVAILABLE;
    if (own && !(state & STATE_SYSTEM_INVISIBLE) && (!target || target->Focusable())) {
      state |= STATE_SYSTEM_FOCUSABLE;
    }
    if (own && GetFocus() == own) state |= STATE_SYSTEM_FOCUSED;
    if (target && target->Exposed()) {
      switch (target->Role()) {
        case forms::AccRole::kRadioButton:
          if (target->Checked()) state |= STATE_SYSTEM_CHECKED;
          break;
        case forms::AccRole::kLink: state |= STATE_SYSTEM_LINKED; break;
        case forms::AccRole::kStaticText:
        case forms::AccRole::kImage: state |= STATE_SYSTEM_READONLY; break;
        default: break;
      }
    }
    out->vt = VT_I4;
    out->lVal = state;
    return S_OK;
  });
}

HRESULT Accessible::get_accFocus(VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return Safely([&]() -> HRESULT {
    Win32FormNative* form = Live();
    if (!form) return CO_E_OBJNOTCONNECTED;
    HWND focus = GetFocus();
    if (!focus || (focus != form_ && !IsChild(form_, focus))) return S_FALSE;
    if (focus == (control_ ? control_->hWnd() : form_)) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    // The exposed control holding the focus (the browser's own windows
    // count as the page's), reported when it lies inside this object.
    forms::Control* focused = nullptr;
    for (HWND w = focus; w && w != form_ && !focused; w = GetParent(w)) {
      focused = form->Model().ControlOf(w);
    }
    while (focused && !focused->Exposed()) focused = focused->Container();
    if (!focused || focused == control_) return S_FALSE;
    for (forms::Control* up = ExposedParent(*focused);; up = ExposedParent(*up)) {
      if (up == control_) {
        *out = Object(form_, focused);
        return S_OK;
      }
      if (!up) return S_FALSE;
    }
  });
}

HRESULT Accessible::get_accDefaultAction(VARIANT child, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    if (!target || !target->HasDefaultAction()) return S_FALSE;
    return PutString(out, ActionOf(target->Role()));
  });
}

HRESULT Accessible::accDoDefaultAction(VARIANT child) {
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    if (!target || !target->HasDefaultAction()) return DISP_E_MEMBERNOTFOUND;
    // The click's handler may open a menu or unload the form: it runs from
    // the window's queue, never inside the reader's call.
    return PostMessageW(form_, kWmAccessibleAction, kActDefault, reinterpret_cast<LPARAM>(target))
               ? S_OK
               : E_FAIL;
  });
}

HRESULT Accessible::accSelect(LONG flags, VARIANT child) {
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    if (flags != SELFLAG_TAKEFOCUS || !target || !target->Focusable()) return DISP_E_MEMBERNOTFOUND;
    // A focus move raises the program's LostFocus: posted, as actions are.
    PostMessageW(form_, kWmAccessibleAction, kActFocus, reinterpret_cast<LPARAM>(target));
    return S_OK;
  });
}

HRESULT Accessible::accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) {
  if (!x || !y || !w || !h) return E_POINTER;
  *x = *y = *w = *h = 0;
  return OnChild(child, [&](Win32FormNative&, forms::Control* target) -> HRESULT {
    RECT r{};
    if (!Locate(target, r)) return S_FALSE;
    *x = r.left;
    *y = r.top;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return S_OK;
  });
}

HRESULT Accessible::Sibling(Win32FormNative& form, const forms::Control* from, int step,
                            VARIANT* out) const {
  const forms::Control* parent = from ? ExposedParent(*from) : nullptr;
  const auto siblings = ExposedChildren(form.Model(), parent);
  const auto at = std::find(siblings.begin(), siblings.end(), from);
  if (at == siblings.end()) return S_FALSE;
  const auto index = (at - siblings.begin()) + step;
  if (index < 0 || index >= static_cast<long>(siblings.size())) return S_FALSE;
  *out = Object(form_, siblings[index]);
  return S_OK;
}

HRESULT Accessible::accNavigate(LONG direction, VARIANT start, VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return OnChild(start, [&](Win32FormNative& form, forms::Control* from) -> HRESULT {
    const bool self = from == control_;
    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
      if (!self) return E_INVALIDARG;
      if (ChildrenAreWindows()) return std_->accNavigate(direction, start, out);
      const auto children = ExposedChildren(form.Model(), control_);
      if (children.empty()) return S_FALSE;
      *out = Object(form_, direction == NAVDIR_FIRSTCHILD ? children.front() : children.back());
      return S_OK;
    }
    if (direction != NAVDIR_NEXT && direction != NAVDIR_PREVIOUS) {
      // The form's neighbours are other programs' windows: the system knows.
      return self && !control_ && std_ ? std_->accNavigate(direction, start, out)
                                       : DISP_E_MEMBERNOTFOUND;
    }
    if (self && !control_) return std_ ? std_->accNavigate(direction, start, out) : S_FALSE;
    return Sibling(form, from, direction == NAVDIR_NEXT ? 1 : -1, out);
  });
}

HRESULT Accessible::accHitTest(LONG x, LONG y, VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  return Safely([&]() -> HRESULT {
    Win32FormNative* form = Live();
    if (!form) return CO_E_OBJNOTCONNECTED;
    if (ChildrenAreWindows()) return std_->accHitTest(x, y, out);
    const POINT at{x, y};
    const auto children = ExposedChildren(form->Model(), control_);
    // Later in the order lies above: the status line over its band.
    for (auto c = children.rbegin(); c != children.rend(); ++c) {
      RECT r{};
      if (Locate(*c, r) && PtInRect(&r, at)) {
        *out = Object(form_, *c);
        return S_OK;
      }
    }
    RECT own{};
    if (!Locate(control_, own) || !PtInRect(&own, at)) return S_FALSE;
    out->vt = VT_I4;
    out->lVal = CHILDID_SELF;
    return S_OK;
  });
}

}  // namespace

LRESULT AnswerGetObject(Win32FormNative& form, forms::Control* control, WPARAM wParam,
                        LPARAM lParam) {
  // OBJID_CLIENT comes as a 32-bit value in a 64-bit LPARAM.
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || !form.Window()) return 0;
  try {
    ComPtr<IAccessible> object = ComPtr<IAccessible>::Adopt(new Accessible(form.Window(), control));
    const LRESULT result = LresultFromObject(kIidAccessible, wParam, object.Get());
    return SUCCEEDED(result) ? result : 0;
  } catch (...) {
    return 0;
  }
}

void NotifyAccessibilityChanged(Win32FormNative& form, forms::Control& control) {
  HWND window = form.Window();
  if (!window) return;
  LONG child = CHILDID_SELF;
  if (HasOwnWindow(control)) {
    window = control.hWnd();
  } else {
    // A windowless control is a child of its exposed container's object.
    forms::Control* parent = ExposedParent(control);
    if (parent && HasOwnWindow(*parent)) window = parent->hWnd();
    const auto siblings = ExposedChildren(form.Model(), parent);
    const auto at = std::find(siblings.begin(), siblings.end(), &control);
    if (at == siblings.end()) return;
    child = static_cast<LONG>(at - siblings.begin()) + 1;
  }
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, child);
  NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, child);
}

}  // namespace win32
