// The WebKitGTK view and the signals it answers without asking the user.
#include "web_view.h"

#include <webkit2/webkit2.h>

#include "gtk_platform.h"

namespace gtkplat {
namespace {

struct ViewContext {
  forms::Form* form;
  forms::Control* browser;
};

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  // Answer without UI: alerts are dismissed, confirmations and prompts declined.
  if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_CONFIRM ||
      webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
    webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
  }
  return TRUE;
}

gboolean OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
  webkit_authentication_request_cancel(request);
  return TRUE;
}

gboolean OnPrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }

gboolean OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  webkit_permission_request_deny(request);
  return TRUE;
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, ViewContext* ctx) {
  forms::Event e;
  e.source = ctx->browser;
  Guarded([&] {
    if (event == WEBKIT_LOAD_STARTED) {
      e.kind = forms::EventKind::kDownloadBegin;
      ctx->form->Raise(e);
    } else if (event == WEBKIT_LOAD_FINISHED) {
      e.kind = forms::EventKind::kDownloadComplete;
      ctx->form->Raise(e);
    }
  });
}

void FreeContext(gpointer data, GClosure*) { delete static_cast<ViewContext*>(data); }

}  // namespace

GtkWidget* CreateWebView(forms::Form& form, forms::Control& browser) {
  GtkWidget* view = webkit_web_view_new();
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);

  g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), nullptr);
  g_signal_connect(view, "authenticate", G_CALLBACK(OnAuthenticate), nullptr);
  g_signal_connect(view, "print", G_CALLBACK(OnPrint), nullptr);
  g_signal_connect(view, "permission-request", G_CALLBACK(OnPermission), nullptr);
  g_signal_connect_data(view, "load-changed", G_CALLBACK(OnLoadChanged),
                        new ViewContext{&form, &browser}, FreeContext, GConnectFlags{});
  return view;
}

void DetachWebView(GtkWidget* view) {
  // Its loads must not reach a form that is going away.
  g_signal_handlers_disconnect_matched(view, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                       reinterpret_cast<gpointer>(&OnLoadChanged), nullptr);
}

void LoadAddress(GtkWidget* view, const std::string& address) {
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address.c_str());
}

}  // namespace gtkplat
