// Test tool for the Wine end-to-end run, never shipped: reads the main
// window the way a screen reader does, through Active Accessibility from
// another process, and works a control through its default action. It
// relies on nothing inside kivo.exe but the window's caption.
//
//   kivo_a11y windows     one line per child window of the main window:
//                         "CLASS | ROLE | NAME | STATE | ACTION", read from
//                         AccessibleObjectFromWindow(OBJID_CLIENT)
//   kivo_a11y tree        the main window's accessible object and its
//                         children, indented by depth (not into the page)
//   kivo_a11y do NAME     accDoDefaultAction on the object of the tree named
//                         NAME; "done NAME", or an error
//   kivo_a11y focus       the object with the keyboard focus (get_accFocus
//                         of the main window's), its line and "at L T W H",
//                         its place in the window's client area
//
// A missing role, name or action prints as "-".
#include <windows.h>
// After <windows.h>.
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/win32_util.h"

namespace {

constexpr wchar_t kCaption[] = L"Kivo手机电影下载器";

// oleacc's IID, written out: MinGW's import library resolves the data symbol
// IID_IAccessible to a thunk, so every call would answer E_NOINTERFACE.
constexpr IID kIidAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

VARIANT Self() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

// A BSTR answer as UTF-8; "-" for none.
template <typename Get>
std::string Text(Get get) {
  BSTR text = nullptr;
  const HRESULT hr = get(&text);
  std::string out = (hr == S_OK && text) ? win32::Narrow(std::wstring_view(text, SysStringLen(text))) : "-";
  SysFreeString(text);
  return out;
}

std::string RoleText(IAccessible* object, LONG& role) {
  VARIANT v;
  VariantInit(&v);
  role = 0;
  if (object->get_accRole(Self(), &v) != S_OK || v.vt != VT_I4) return "-";
  role = v.lVal;
  wchar_t text[64] = {};
  GetRoleTextW(static_cast<DWORD>(role), text, 64);
  return win32::Narrow(text);
}

std::string StateText(IAccessible* object) {
  static constexpr struct {
    LONG bit;
    const char* word;
  } kWords[] = {{STATE_SYSTEM_INVISIBLE, "invisible"}, {STATE_SYSTEM_UNAVAILABLE, "unavailable"},
                {STATE_SYSTEM_FOCUSABLE, "focusable"}, {STATE_SYSTEM_FOCUSED, "focused"},
                {STATE_SYSTEM_CHECKED, "checked"},     {STATE_SYSTEM_LINKED, "linked"},
                {STATE_SYSTEM_READONLY, "readonly"}};
  VARIANT v;
  VariantInit(&v);
  if (object->get_accState(Self(), &v) != S_OK || v.vt != VT_I4) return "-";
  std::string words;
  for (const auto& w : kWords) {
    if (!(v.lVal & w.bit)) continue;
    if (!words.empty()) words += '+';
    words += w.word;
  }
  return words.empty() ? "normal" : words;
}

std::string Describe(IAccessible* object, LONG& role) {
  const VARIANT self = Self();
  const std::string roleText = RoleText(object, role);
  return roleText + " | " + Text([&](BSTR* t) { return object->get_accName(self, t); }) + " | " +
         StateText(object) + " | " +
         Text([&](BSTR* t) { return object->get_accDefaultAction(self, t); });
}

IAccessible* OfWindow(HWND window) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible,
                                        reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

int Windows(HWND main) {
  std::vector<HWND> children;
  EnumChildWindows(
      main,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    IAccessible* object = OfWindow(child);
    LONG role = 0;
    Print(win32::Narrow(cls) + " | " + (object ? Describe(object, role) : "no object"));
    if (object) object->Release();
  }
  return 0;
}

// Visits `object` and its descendants depth first; `visit` returns false to
// stop. Pages are the browser's: not entered.
template <typename Visit>
bool Walk(IAccessible* object, int depth, Visit& visit) {
  LONG role = 0;
  if (!visit(object, depth, Describe(object, role))) return false;
  if (role == ROLE_SYSTEM_PANE) return true;
  LONG count = 0;
  if (object->get_accChildCount(&count) != S_OK || count <= 0) return true;
  std::vector<VARIANT> children(count);
  LONG got = 0;
  if (FAILED(AccessibleChildren(object, 0, count, children.data(), &got))) return true;
  bool going = true;
  for (LONG i = 0; i < got; ++i) {
    if (going && children[i].vt == VT_DISPATCH && children[i].pdispVal) {
      IAccessible* child = nullptr;
      children[i].pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(&child));
      if (child) {
        going = Walk(child, depth + 1, visit);
        child->Release();
      }
    }
    VariantClear(&children[i]);
  }
  return going;
}

int Tree(HWND main) {
  IAccessible* root = OfWindow(main);
  if (!root) {
    Print("error: no accessible object");
    return 2;
  }
  auto print = [](IAccessible*, int depth, const std::string& line) {
    Print(std::string(2 * depth, ' ') + line);
    return true;
  };
  Walk(root, 0, print);
  root->Release();
  return 0;
}

int Do(HWND main, const std::string& name) {
  IAccessible* root = OfWindow(main);
  if (!root) {
    Print("error: no accessible object");
    return 2;
  }
  HRESULT result = E_FAIL;
  bool found = false;
  auto act = [&](IAccessible* object, int, const std::string&) {
    if (Text([&](BSTR* t) { return object->get_accName(Self(), t); }) != name) return true;
    found = true;
    result = object->accDoDefaultAction(Self());
    return false;
  };
  Walk(root, 0, act);
  root->Release();
  if (!found || FAILED(result)) {
    char line[96];
    std::snprintf(line, sizeof line, "error: %s (0x%08lx)", found ? "refused" : "not found",
                  static_cast<unsigned long>(result));
    Print(line);
    return 1;
  }
  Print("done " + name);
  return 0;
}

int Focus(HWND main) {
  IAccessible* root = OfWindow(main);
  if (!root) {
    Print("error: no accessible object");
    return 2;
  }
  VARIANT focus;
  VariantInit(&focus);
  IAccessible* object = nullptr;
  if (root->get_accFocus(&focus) == S_OK && focus.vt == VT_DISPATCH && focus.pdispVal) {
    focus.pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(&object));
  }
  VariantClear(&focus);
  root->Release();
  if (!object) {
    Print("focus none");
    return 1;
  }
  LONG role = 0, x = 0, y = 0, w = 0, h = 0;
  const std::string line = Describe(object, role);
  object->accLocation(&x, &y, &w, &h, Self());
  object->Release();
  POINT origin{0, 0};
  ClientToScreen(main, &origin);
  char at[96];
  std::snprintf(at, sizeof at, " at %ld %ld %ld %ld", x - origin.x, y - origin.y, w, h);
  Print("focus " + line + at);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print("usage: kivo_a11y windows|tree|focus|do NAME");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HWND main = FindWindowW(nullptr, kCaption);
  int rc = 2;
  const std::wstring command = argv[1];
  if (!main) {
    Print("error: no main window");
  } else if (command == L"windows") {
    rc = Windows(main);
  } else if (command == L"tree") {
    rc = Tree(main);
  } else if (command == L"focus") {
    rc = Focus(main);
  } else if (command == L"do" && argc == 3) {
    rc = Do(main, win32::Narrow(argv[2]));
  } else {
    Print("usage: kivo_a11y windows|tree|focus|do NAME");
  }
  CoUninitialize();
  return rc;
}
