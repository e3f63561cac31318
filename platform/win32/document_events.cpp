// The document's event sink: an IDispatch answering HTMLDocumentEvents2 for
// the connected document, reporting oncontextmenu and returning its result
// as the event's VT_BOOL return value. Not yet: any other document event.
// Nothing thrown may leave a COM method, and the handler may destroy the
// whole browser: nothing of the connection is touched after it runs.
#include "platform/win32/document_events.h"

#include <atomic>

namespace win32 {

// {332C4425-26CB-11D0-B483-00C04FD90119}
const IID kIidHtmlDocument2 = {
    0x332c4425, 0x26cb, 0x11d0, {0xb4, 0x83, 0x00, 0xc0, 0x4f, 0xd9, 0x01, 0x19}};
// {3050F613-98B5-11CF-BB82-00AA00BDCE0B}
const IID kDiidHtmlDocumentEvents2 = {
    0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

class DocumentSink final : public IDispatch {
 public:
  DocumentSink(DocumentConnection::ContextMenuHandler* handler, IUnknown* document)
      : handler_(handler), document_(document) {}
  // The connection ends: later events (the engine may still deliver some)
  // reach nobody.
  void Detach() { handler_ = nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != kDiidHtmlDocumentEvents2) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (id != DISPID_HTMLDOCUMENTEVENTS2_ONCONTEXTMENU) return S_OK;
    bool show = true;
    try {
      if (handler_ && *handler_) {
        // A copy: the handler may end the connection that holds it.
        const DocumentConnection::ContextMenuHandler handler = *handler_;
        const forms::DocumentHandle document = HandleOf(document_);
        handler(document, show);
      }
    } catch (...) {
      // A failed handler leaves the page's own menu as it was.
      show = true;
    }
    if (result) {
      VariantInit(result);
      result->vt = VT_BOOL;
      result->boolVal = show ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }

 private:
  ~DocumentSink() = default;

  std::atomic<ULONG> references_{1};
  DocumentConnection::ContextMenuHandler* handler_;
  IUnknown* document_;  // identity only; the connection holds the reference
};

DocumentConnection::DocumentConnection(ContextMenuHandler onContextMenu)
    : onContextMenu_(std::move(onContextMenu)) {}

DocumentConnection::~DocumentConnection() { Disconnect(); }

bool DocumentConnection::Connect(const ComPtr<IUnknown>& document) {
  Disconnect();
  if (!document) return false;
  auto container = document.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  ComPtr<IConnectionPoint> point;
  if (!container || FAILED(container->FindConnectionPoint(kDiidHtmlDocumentEvents2, point.Put())) ||
      !point) {
    return false;
  }
  auto sink = ComPtr<DocumentSink>::Adopt(new DocumentSink(&onContextMenu_, document.Get()));
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(sink.Get()), &cookie))) {
    sink->Detach();
    return false;
  }
  sink_ = sink;
  document_ = document;
  point_ = point;
  cookie_ = cookie;
  return true;
}

void DocumentConnection::Disconnect() {
  if (sink_) sink_->Detach();
  if (point_) point_->Unadvise(cookie_);
  point_.Reset();
  sink_.Reset();
  document_.Reset();
  cookie_ = 0;
}

}  // namespace win32
