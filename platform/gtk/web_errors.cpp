// Failed top-level loads of the engine module: each failure, cancelled
// ones included, classified and handed to the host; a main-frame response
// with an error status (400 and up) is refused so that it fails too, and
// the host's own page replaces the site's error body. A refused login (401,
// 407) keeps the page that came with it, as for a person who dismissed the
// login. Other responses are left to whoever decides them (downloads). Not
// handled here: frames' failures, TLS certificate errors.
#include "web_errors.h"

namespace gtkplat {
namespace {

using Failure = WebEngineHost::Failure;

Failure Classify(const GError* error) {
  if (!error) return Failure::kOther;
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(error, WEBKIT_POLICY_ERROR,
                      WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
      g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD)) {
    return Failure::kCancelled;
  }
  if (error->domain == G_RESOLVER_ERROR) return Failure::kNameNotResolved;
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CANCELLED: return Failure::kCancelled;
      case G_IO_ERROR_CONNECTION_REFUSED:
      case G_IO_ERROR_HOST_UNREACHABLE:
      case G_IO_ERROR_NETWORK_UNREACHABLE: return Failure::kCannotConnect;
      case G_IO_ERROR_TIMED_OUT: return Failure::kTimedOut;
      case G_IO_ERROR_CONNECTION_CLOSED:
      case G_IO_ERROR_NOT_CONNECTED:
      case G_IO_ERROR_PARTIAL_INPUT: return Failure::kConnectionLost;
      case G_IO_ERROR_HOST_NOT_FOUND: return Failure::kNameNotResolved;
      default: break;
    }
  }
  return Failure::kOther;
}

}  // namespace

LoadFailures::LoadFailures(WebKitWebView* view, WebEngineHost& host) : view_(view), host_(host) {
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
}

LoadFailures::~LoadFailures() { g_signal_handlers_disconnect_by_data(view_, this); }

void LoadFailures::ShowPage(const char* html, const char* uri) {
  webkit_web_view_load_alternate_html(view_, html, uri, uri);
}

gboolean LoadFailures::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, LoadFailures* self) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  auto* response_decision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  if (!webkit_response_policy_decision_is_main_frame_main_resource(response_decision)) {
    return FALSE;
  }
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(response_decision);
  const guint status = response ? webkit_uri_response_get_status_code(response) : 0;
  if (status < 400 || status == 401 || status == 407) return FALSE;
  self->refusedStatus_ = static_cast<int>(status);
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

void LoadFailures::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, LoadFailures* self) {
  // A refusal never belongs to a later load (a download's is no error).
  if (event == WEBKIT_LOAD_STARTED) self->refusedStatus_ = 0;
}

gboolean LoadFailures::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                                    LoadFailures* self) {
  if (!uri) return FALSE;
  Failure failure = Classify(error);
  int status = 0;
  // Our refusal ends the load as any policy change does; after a redirect
  // the failing address may not be the one answered.
  if (self->refusedStatus_ &&
      g_error_matches(error, WEBKIT_POLICY_ERROR,
                      WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
    failure = Failure::kHttpStatus;
    status = self->refusedStatus_;
  }
  self->refusedStatus_ = 0;
  // The host may end the engine meanwhile: nothing of ours afterwards.
  const bool shown = self->host_.EngineLoadFailed(uri, failure, status);
  // Cancelled loads keep the engine's handling, which shows nothing.
  return shown ? TRUE : FALSE;
}

}  // namespace gtkplat
