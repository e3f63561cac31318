// The OLE container around the system's WebBrowser object. It embeds the
// browser in-place in a host window, drives it (navigate, history, refresh,
// Silent, the document) and listens to DWebBrowserEvents2 (the two download
// events; not yet the others). It must not reach into the form, and nothing
// thrown may leave a COM method. Every event may end the host: nothing of
// it is touched after one has been reported.
#include "platform/win32/web_host.h"

#include <atomic>

namespace win32 {
namespace {

constexpr wchar_t kHostClass[] = L"KivoBrowserHost";

}  // namespace

// The client site, in-place site, frame and event sink in one object. The
// browser may keep references to it after the host is gone, so it only
// points back at its host until Detach().
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDispatch {
 public:
  BrowserSite(HWND host, WebHost* owner) : host_(host), owner_(owner) {}
  virtual ~BrowserSite() = default;
  void Detach() { owner_ = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
      // The connection point asks for its event interface by name.
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite: nothing to save, no container to name.
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, shared by the site and the frame: both are the host window.
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(host_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no toolbars, menus or status bar.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: only Invoke matters, for DWebBrowserEvents2.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    try {
      if (!owner_) return S_OK;
      if (id == DISPID_DOWNLOADBEGIN) {
        owner_->OnDownloadBegin();
      } else if (id == DISPID_DOWNLOADCOMPLETE) {
        owner_->OnDownloadComplete();
      }
    } catch (...) {
      // Events are notifications; a failure to handle one changes nothing.
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  HWND host_;
  WebHost* owner_;
};

void WebHost::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &WebHost::HostProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // Shows until (or unless) the browser covers the host.
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  RegisterClassExW(&wc);  // already registered is fine; a real failure shows in Create
}

std::unique_ptr<WebHost> WebHost::Create(HINSTANCE instance, HWND parent, const RECT& bounds,
                                         bool visible, Sinks sinks) {
  const DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0);
  HWND window = CreateWindowExW(0, kHostClass, L"", style, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                nullptr, instance, nullptr);
  if (!window) return nullptr;
  std::unique_ptr<WebHost> host(new WebHost(window, std::move(sinks)));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host.get()));
  if (host->Embed()) host->Connect();
  return host;
}

WebHost::WebHost(HWND window, Sinks sinks)
    : window_(window), sinks_(std::move(sinks)), document_(sinks_.contextMenu) {}

WebHost::~WebHost() {
  Shutdown();
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool WebHost::Embed() {
  site_ = ComPtr<BrowserSite>::Adopt(new BrowserSite(window_, this));
  auto* clientSite = static_cast<IOleClientSite*>(site_.Get());
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              object_.PutVoid())) ||
      FAILED(object_->SetClientSite(clientSite))) {
    Shutdown();
    return false;
  }
  OleSetContainedObject(object_.Get(), TRUE);
  RECT area{};
  GetClientRect(window_, &area);
  if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, window_, &area))) {
    Shutdown();
    return false;
  }
  browser_ = object_.As<IWebBrowser2>(IID_IWebBrowser2);
  return static_cast<bool>(browser_);
}

void WebHost::Connect() {
  auto container = object_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  if (!container ||
      FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.Put()))) {
    events_.Reset();
    return;
  }
  if (FAILED(events_->Advise(static_cast<IDispatch*>(site_.Get()), &cookie_))) events_.Reset();
}

void WebHost::Shutdown() {
  document_.Disconnect();
  if (events_) {
    events_->Unadvise(cookie_);
    events_.Reset();
  }
  if (site_) site_->Detach();
  browser_.Reset();
  if (object_) {
    if (auto inPlace = object_.As<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
      inPlace->InPlaceDeactivate();
    }
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_.Reset();
  }
  site_.Reset();
}

void WebHost::Resize(int width, int height) {
  if (!object_) return;
  if (auto inPlace = object_.As<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
    const RECT area{0, 0, width, height};
    inPlace->SetObjectRects(&area, &area);
  }
}

void WebHost::Navigate(const std::wstring& url) {
  if (!browser_) return;
  Bstr address(url);
  VARIANT empty;
  VariantInit(&empty);
  browser_->Navigate(address.Get(), &empty, &empty, &empty, &empty);
}

bool WebHost::HandleAccelerator(MSG& message) {
  if (!object_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  auto active = object_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(&message) == S_OK;
}

bool WebHost::GoBack() { return browser_ && SUCCEEDED(browser_->GoBack()); }

bool WebHost::GoForward() { return browser_ && SUCCEEDED(browser_->GoForward()); }

void WebHost::Stop() {
  if (browser_) browser_->Stop();
}

void WebHost::Refresh() {
  if (browser_) browser_->Refresh();
}

void WebHost::SetSilent(bool silent) {
  if (browser_) browser_->put_Silent(silent ? VARIANT_TRUE : VARIANT_FALSE);
}

ComPtr<IUnknown> WebHost::Document() {
  if (!browser_) return {};
  ComPtr<IDispatch> dispatch;
  // No document at all (nothing loaded, or no HTML engine as under Wine
  // without Gecko) and a document that is not HTML both come out null.
  if (FAILED(browser_->get_Document(dispatch.Put())) || !dispatch) return {};
  auto html = dispatch.As<IUnknown>(kIidHtmlDocument2);
  if (!html) return {};
  return html.As<IUnknown>(IID_IUnknown);
}

void WebHost::ConnectDocument(forms::DocumentHandle document) {
  if (document && document == document_.Connected()) return;
  document_.Disconnect();
  if (!document) return;
  // Only the document showing now can be trusted to be alive behind its
  // handle; an older one is never touched.
  ComPtr<IUnknown> showing = Document();
  if (showing && HandleOf(showing.Get()) == document) document_.Connect(showing);
}

void WebHost::OnDownloadBegin() {
  if (sinks_.event) sinks_.event(forms::EventKind::kDownloadBegin);
}

void WebHost::SetZoom(int percent) {
  zoom_ = percent;
  ApplyZoom();
}

void WebHost::ApplyZoom() {
  // At 100 % the browser is left exactly as it comes.
  if (!browser_ || (zoom_ == 100 && !zoomed_)) return;
  // OLECMDID_OPTICAL_ZOOM: the whole page, pictures included, as the
  // browser's own zoom does it. A browser without it keeps 100 %.
  constexpr OLECMDID kOpticalZoom = static_cast<OLECMDID>(63);
  VARIANT percent;
  VariantInit(&percent);
  percent.vt = VT_I4;
  percent.lVal = zoom_;
  if (SUCCEEDED(browser_->ExecWB(kOpticalZoom, OLECMDEXECOPT_DONTPROMPTUSER, &percent, nullptr))) {
    zoomed_ = zoom_ != 100;
  }
}

void WebHost::OnDownloadComplete() {
  // Each new page starts at the browser's own zoom; done before the event,
  // whose handler may close this host.
  ApplyZoom();
  if (sinks_.event) sinks_.event(forms::EventKind::kDownloadComplete);
}

LRESULT CALLBACK WebHost::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    auto* host = reinterpret_cast<WebHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host) {
      switch (message) {
        case WM_SIZE: host->Resize(LOWORD(lParam), HIWORD(lParam)); break;
        case WM_SETFOCUS:
          if (host->sinks_.focus) host->sinks_.focus();
          break;
        case WM_GETOBJECT:
          if (host->sinks_.accessible) {
            if (const LRESULT object = host->sinks_.accessible(wParam, lParam)) return object;
          }
          break;
        case WM_DESTROY:
          // Close the browser while its windows still exist.
          host->Shutdown();
          break;
        case WM_NCDESTROY:
          SetWindowLongPtrW(window, GWLP_USERDATA, 0);
          host->window_ = nullptr;
          break;
      }
    }
  } catch (...) {
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace win32
