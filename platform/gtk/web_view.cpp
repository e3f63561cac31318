// The embedded browser: a WebKitWebView that shows no dialog of its own
// while silent (script dialogs are always answered without UI), reports its
// loads as download events, identifies each committed top-level HTML
// document, hands the connected document's context-menu request to the form
// and sends pages' new-window requests to the desktop's browser. Not yet:
// downloads, script errors as events, frames' own documents.
#include "web_view.h"

#include <webkit2/webkit2.h>

#include <cstring>

#include "startup_trace.h"

namespace gtkplat {
namespace {

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  // Answer without UI: alerts are dismissed, confirmations and prompts declined.
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM || type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
    webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
  }
  return TRUE;
}

bool IsHtml(const char* mime) {
  return mime && (g_ascii_strcasecmp(mime, "text/html") == 0 ||
                  g_ascii_strcasecmp(mime, "application/xhtml+xml") == 0);
}

bool IsWebAddress(const char* uri) {
  return uri && (g_ascii_strncasecmp(uri, "http://", 7) == 0 ||
                 g_ascii_strncasecmp(uri, "https://", 8) == 0);
}

}  // namespace

std::unique_ptr<forms::ControlNative> MakeBrowserPeer(GtkFormNative& owner,
                                                      forms::Control& control) {
  return std::make_unique<BrowserPeer>(owner, control);
}

BrowserPeer::BrowserPeer(GtkFormNative& owner, forms::Control& control)
    : WidgetPeer(owner, control, (TraceMark("engine-start"), webkit_web_view_new())) {
  TraceMark("webview-created");
  WebKitWebView* view = WEBKIT_WEB_VIEW(widget_);
  g_signal_connect(webkit_web_view_get_context(view), "initialize-web-extensions",
                   G_CALLBACK(+[](WebKitWebContext*, gpointer) { TraceOnce("web-process-launch"); }),
                   nullptr);
  g_signal_connect_after(view, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, BrowserPeer* self) {
                           if (self->committed_) TraceOnce("page-drawn");
                           return FALSE;
                         }),
                         this);
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);

  g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), nullptr);
  g_signal_connect(view, "authenticate", G_CALLBACK(OnAuthenticate), this);
  g_signal_connect(view, "print", G_CALLBACK(OnPrint), this);
  g_signal_connect(view, "permission-request", G_CALLBACK(OnPermission), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
}

BrowserPeer::~BrowserPeer() {
  // Its loads must not reach a form that is going away; the core destroys
  // the view.
  g_signal_handlers_disconnect_by_data(widget_, this);
}

void BrowserPeer::Navigate(const std::string& url) {
  TraceOnce("navigate");
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), url.c_str());
}

bool BrowserPeer::GoBack() {
  WebKitWebView* view = WEBKIT_WEB_VIEW(widget_);
  if (!webkit_web_view_can_go_back(view)) return false;
  webkit_web_view_go_back(view);
  return true;
}

bool BrowserPeer::GoForward() {
  WebKitWebView* view = WEBKIT_WEB_VIEW(widget_);
  if (!webkit_web_view_can_go_forward(view)) return false;
  webkit_web_view_go_forward(view);
  return true;
}

void BrowserPeer::Reload() { webkit_web_view_reload(WEBKIT_WEB_VIEW(widget_)); }

forms::DocumentHandle BrowserPeer::Document() {
  if (committed_ == 0) return nullptr;
  WebKitWebResource* main = webkit_web_view_get_main_resource(WEBKIT_WEB_VIEW(widget_));
  WebKitURIResponse* response = main ? webkit_web_resource_get_response(main) : nullptr;
  // WebKit's own pages (a failed load's error page) have no response: they
  // are no document of the site's.
  if (!response || !IsHtml(webkit_uri_response_get_mime_type(response))) return nullptr;
  return reinterpret_cast<forms::DocumentHandle>(committed_);
}

void BrowserPeer::RaiseLoad(forms::EventKind kind) {
  forms::Event e;
  e.kind = kind;
  e.source = &control_;
  forms::Form& form = owner_.Form();
  Guarded([&] { form.Raise(e); });
}

void BrowserPeer::OnLoadChanged(GtkWidget*, int event, BrowserPeer* self) {
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      TraceOnce("load-started");
      self->RaiseLoad(forms::EventKind::kDownloadBegin);
      break;
    case WEBKIT_LOAD_COMMITTED:
      TraceOnce("load-committed");
      ++self->committed_;
      break;
    case WEBKIT_LOAD_FINISHED:
      TraceOnce("load-finished");
      self->RaiseLoad(forms::EventKind::kDownloadComplete);
      break;
    default: break;
  }
}

gboolean BrowserPeer::OnContextMenu(GtkWidget*, gpointer, GdkEvent* click, gpointer,
                                    BrowserPeer* self) {
  const forms::DocumentHandle shown = self->Document();
  // A document nobody connected keeps the engine's own menu.
  if (!shown || shown != self->connected_) return FALSE;
  bool result = true;
  forms::Event e;
  e.kind = forms::EventKind::kContextMenu;
  e.source = &self->control_;
  e.document = shown;
  e.result = &result;
  forms::Form& form = self->owner_.Form();
  GtkPlatform& os = self->owner_.Platform();
  // The menu takes its time from the click: GTK then knows that click's
  // button-up, however late it comes, opened the menu and chose nothing.
  os.SetPopupTrigger(click);
  // Our menu runs in here, and its command may unload the form and this
  // peer: only locals from here on.
  Guarded([&] { form.Raise(e); });
  os.SetPopupTrigger(nullptr);
  return result ? FALSE : TRUE;
}

GtkWidget* BrowserPeer::OnCreate(GtkWidget*, gpointer action, BrowserPeer* self) {
  WebKitURIRequest* request =
      webkit_navigation_action_get_request(static_cast<WebKitNavigationAction*>(action));
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  // Anything else (javascript:, file:, about:) is no address for a browser.
  if (IsWebAddress(uri)) {
    forms::Platform& os = self->owner_.Platform();
    const std::string address = uri;
    Guarded([&] { os.ShellExecute(nullptr, "open", address, "", "", forms::kSwShowNormal); });
  }
  return nullptr;  // no view of ours: WebKit opens nothing itself
}

gboolean BrowserPeer::OnAuthenticate(GtkWidget*, gpointer request, BrowserPeer* self) {
  if (!self->silent_) return FALSE;
  // Carried on without credentials, as a person dismissing the login would:
  // the page that came with the refusal shows.
  webkit_authentication_request_authenticate(static_cast<WebKitAuthenticationRequest*>(request),
                                             nullptr);
  return TRUE;
}

gboolean BrowserPeer::OnPrint(GtkWidget*, gpointer, BrowserPeer* self) {
  return self->silent_ ? TRUE : FALSE;
}

gboolean BrowserPeer::OnPermission(GtkWidget*, gpointer request, BrowserPeer* self) {
  if (!self->silent_) return FALSE;
  webkit_permission_request_deny(static_cast<WebKitPermissionRequest*>(request));
  return TRUE;
}

}  // namespace gtkplat
