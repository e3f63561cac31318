// The browser control's peer on Win32: the forms::BrowserNative interface
// over the WebHost, and the browser's events raised on the form with the
// control as source (downloads; the connected document's context menu with
// its result). Not yet: the browser's other events, NavigateError among
// them (the control keeps its own error pages), and the form's key preview
// (the control's own shortcuts work through its accelerators). Each raise
// may unload the form and with it this peer: nothing of it is touched
// afterwards.
#include "platform/win32/accessible.h"
#include "platform/win32/control_peers.h"
#include "platform/win32/web_host.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {

BrowserPeer::BrowserPeer(Win32FormNative& owner, forms::Control& control) : Peer(owner, control) {
  const RECT bounds = owner.DeviceRectOf(control);
  WebHost::Sinks sinks;
  sinks.event = [this](forms::EventKind kind) {
    forms::Event event;
    event.kind = kind;
    event.source = &control_;
    owner_.Raise(event);
  };
  sinks.focus = [this] { owner_.FocusArrived(control_); };
  sinks.accessible = [this](WPARAM wParam, LPARAM lParam) {
    return AnswerGetObject(owner_, &control_, wParam, lParam);
  };
  sinks.contextMenu = [this](forms::DocumentHandle document, bool& show) {
    // The handler answers through a bool of its own, so the answer
    // survives the form unloading meanwhile.
    bool result = true;
    forms::Event event;
    event.kind = forms::EventKind::kContextMenu;
    event.source = &control_;
    event.document = document;
    event.result = &result;
    owner_.Raise(event);
    show = result;
  };
  web_ = WebHost::Create(owner.Os().Instance(), ParentWindow(), bounds, control.Visible(),
                         std::move(sinks));
  if (web_) {
    window_ = web_->Window();
    // Pages are drawn at the window's scale, as the frame around them is.
    web_->SetZoom(owner.Scale().Percent());
  }
}

void BrowserPeer::Rescale() {
  MoveToModel();
  if (web_) web_->SetZoom(owner_.Scale().Percent());
}

BrowserPeer::~BrowserPeer() {
  // The host closes the browser object while its windows still exist.
  web_.reset();
  window_ = nullptr;
}

void BrowserPeer::Navigate(const std::string& url) {
  if (web_) web_->Navigate(Widen(url));
}

bool BrowserPeer::GoBack() { return web_ && web_->GoBack(); }

bool BrowserPeer::GoForward() { return web_ && web_->GoForward(); }

void BrowserPeer::Reload() {
  if (web_) web_->Refresh();
}

void BrowserPeer::SetSilent(bool silent) {
  if (web_) web_->SetSilent(silent);
}

forms::DocumentHandle BrowserPeer::Document() {
  return web_ ? HandleOf(web_->Document().Get()) : nullptr;
}

void BrowserPeer::ConnectDocument(forms::DocumentHandle document) {
  if (web_) web_->ConnectDocument(document);
}

void BrowserPeer::Stop() {
  if (web_) web_->Stop();
}

void BrowserPeer::ShowErrorPage(const std::string&, const std::string&) {
  // Only asked for in answer to NavigateError, which this peer never raises.
}

bool BrowserPeer::HandleAccelerator(MSG& message) {
  return web_ && web_->HandleAccelerator(message);
}

}  // namespace win32
