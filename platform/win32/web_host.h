// The browser control: the system's WebBrowser object (IWebBrowser2) living
// in a small OLE container of our own inside a host child window.
// Implemented: Navigate, back, forward, refresh, stop, Silent, DownloadBegin and
// DownloadComplete, the top-level document and its context-menu request
// (document_events.cpp), the browser's keyboard shortcuts, the host's
// focus and its accessible object (given by the peer). Not yet: the browser's other events. It knows nothing of forms
// beyond the event kinds and handles it reports; it must not reach into the
// form or its controls.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "forms/control.h"
#include "platform/win32/document_events.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class BrowserSite;

class WebHost {
 public:
  struct Sinks {
    // DownloadBegin and DownloadComplete.
    std::function<void(forms::EventKind)> event;
    // The host window took the keyboard focus.
    std::function<void()> focus;
    // The connected document asks for its context menu.
    DocumentConnection::ContextMenuHandler contextMenu;
    // WM_GETOBJECT on the host window: the answer, or 0 for the default.
    std::function<LRESULT(WPARAM, LPARAM)> accessible;
  };

  static void RegisterWindowClass(HINSTANCE instance);
  // Null when even the host window cannot be made. A host whose browser
  // object cannot be created stays an empty window and ignores Navigate.
  static std::unique_ptr<WebHost> Create(HINSTANCE instance, HWND parent, const RECT& bounds,
                                         bool visible, Sinks sinks);
  ~WebHost();
  WebHost(const WebHost&) = delete;
  WebHost& operator=(const WebHost&) = delete;

  HWND Window() const { return window_; }
  // Failures are ignored: the page simply does not change.
  void Navigate(const std::wstring& url);
  // False when the browser refuses (no page that way, or no browser).
  bool GoBack();
  bool GoForward();
  void Refresh();
  void Stop();
  void SetSilent(bool silent);
  // The top-level document's identity when it is HTML; null otherwise.
  ComPtr<IUnknown> Document();
  // Connects to `document` if it is the one showing; null or any other
  // ends the connection.
  void ConnectDocument(forms::DocumentHandle document);
  // Pages shown at this percentage of their size (the window's scale).
  void SetZoom(int percent);
  // Gives the in-place browser its keyboard shortcuts; true when it used one.
  bool HandleAccelerator(MSG& message);

  // For BrowserSite.
  void OnDownloadBegin();
  void OnDownloadComplete();

 private:
  WebHost(HWND window, Sinks sinks);
  bool Embed();
  void Connect();
  void Resize(int width, int height);
  void ApplyZoom();
  void Shutdown();
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_;
  Sinks sinks_;
  ComPtr<BrowserSite> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  int zoom_ = 100;
  bool zoomed_ = false;  // a zoom other than 100 % was applied
  DocumentConnection document_;
};

}  // namespace win32
