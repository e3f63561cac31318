// The events of the browser's top-level HTML document on Win32: a sink on
// HTMLDocumentEvents2 connected to one document at a time, reporting its
// oncontextmenu with a result the page's menu obeys. Not yet: the
// document's other events (the program handles none). It knows nothing of
// forms beyond the document handle it reports.
#pragma once

#include <functional>

#include "forms/types.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class DocumentSink;

// The document's identity as the program sees it: its IUnknown.
inline forms::DocumentHandle HandleOf(IUnknown* identity) {
  return reinterpret_cast<forms::DocumentHandle>(identity);
}

class DocumentConnection {
 public:
  // Called with the connected document; `show` starts true, and false
  // keeps the engine's own menu away.
  using ContextMenuHandler = std::function<void(forms::DocumentHandle document, bool& show)>;

  explicit DocumentConnection(ContextMenuHandler onContextMenu);
  ~DocumentConnection();
  DocumentConnection(const DocumentConnection&) = delete;
  DocumentConnection& operator=(const DocumentConnection&) = delete;

  forms::DocumentHandle Connected() const { return HandleOf(document_.Get()); }
  // Connects to `document` (its IUnknown identity), ending the previous
  // connection; false when the document offers no such events.
  bool Connect(const ComPtr<IUnknown>& document);
  void Disconnect();

 private:
  ContextMenuHandler onContextMenu_;
  ComPtr<DocumentSink> sink_;
  // Kept referenced while connected, so its identity cannot be reused.
  ComPtr<IUnknown> document_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

// The document interfaces' ids, which MinGW's import library lacks.
extern const IID kIidHtmlDocument2;
extern const IID kDiidHtmlDocumentEvents2;

}  // namespace win32
