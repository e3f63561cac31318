// The engine's downloads. A response is saved instead of shown when the
// server says it is an attachment or the engine cannot show its type, in
// any frame, so a download asked for by a hidden frame is seen too. Each
// download is handed to the program's DownloadHost, which chooses where it
// goes, and its progress, end or failure reported there. Responses with an
// error status are left to the page's own handling.
#include "web_downloads.h"

#include <libsoup/soup.h>

#include <cstring>

namespace gtkplat {
namespace {

// One download, from its start until WebKit says it finished (it says so
// after a failure too); then it deletes itself.
class Job final : public EngineDownload {
 public:
  Job(WebKitDownload* download, DownloadHost& host)
      : download_(WEBKIT_DOWNLOAD(g_object_ref(download))), host_(host) {
    // The file it writes is one the program made for it, empty.
    webkit_download_set_allow_overwrite(download_, TRUE);
    g_signal_connect(download_, "decide-destination", G_CALLBACK(OnDecide), this);
    g_signal_connect(download_, "received-data", G_CALLBACK(OnData), this);
    g_signal_connect(download_, "failed", G_CALLBACK(OnFailed), this);
    g_signal_connect(download_, "finished", G_CALLBACK(OnFinished), this);
  }
  ~Job() {
    g_signal_handlers_disconnect_by_data(download_, this);
    g_object_unref(download_);
  }

  const char* Uri() override {
    WebKitURIRequest* request = webkit_download_get_request(download_);
    return request ? webkit_uri_request_get_uri(request) : "";
  }
  int HttpStatus() override {
    WebKitURIResponse* response = webkit_download_get_response(download_);
    return response ? static_cast<int>(webkit_uri_response_get_status_code(response)) : 0;
  }
  std::uint64_t Length() override {
    WebKitURIResponse* response = webkit_download_get_response(download_);
    return response ? webkit_uri_response_get_content_length(response) : 0;
  }
  void SaveTo(const char* path) override { webkit_download_set_destination(download_, path); }
  void Cancel() override { webkit_download_cancel(download_); }

 private:
  static gboolean OnDecide(WebKitDownload*, gchar* suggested, Job* self) {
    // Answered later, once the user has chosen.
    self->host_.DownloadDestination(*self, suggested ? suggested : "");
    return TRUE;
  }
  static void OnData(WebKitDownload* download, guint64, Job* self) {
    self->host_.DownloadProgress(*self, webkit_download_get_received_data_length(download));
  }
  static void OnFailed(WebKitDownload*, GError* error, Job* self) {
    self->failed_ = true;
    DownloadError kind = DownloadError::kOther;
    if (error && error->domain == WEBKIT_DOWNLOAD_ERROR) {
      switch (error->code) {
        case WEBKIT_DOWNLOAD_ERROR_NETWORK: kind = DownloadError::kNetwork; break;
        case WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER: kind = DownloadError::kCancelled; break;
        case WEBKIT_DOWNLOAD_ERROR_DESTINATION: kind = DownloadError::kDestination; break;
        default: break;
      }
    } else if (error && error->domain == WEBKIT_NETWORK_ERROR) {
      kind = DownloadError::kNetwork;
    }
    self->host_.DownloadFailed(*self, kind, error && error->message ? error->message : "");
  }
  static void OnFinished(WebKitDownload*, Job* self) {
    if (!self->failed_) self->host_.DownloadFinished(*self);
    delete self;
  }

  WebKitDownload* download_;
  DownloadHost& host_;
  bool failed_ = false;
};

bool IsAttachment(WebKitURIResponse* response) {
  SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
  if (!headers) return false;
  char* disposition = nullptr;
  GHashTable* params = nullptr;
  if (!soup_message_headers_get_content_disposition(headers, &disposition, &params)) return false;
  const bool attachment = disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
  g_free(disposition);
  if (params) g_hash_table_destroy(params);
  return attachment;
}

}  // namespace

DownloadWatch::DownloadWatch(WebKitWebView* view, WebEngineHost& host)
    : view_(view), context_(webkit_web_view_get_context(view)), host_(host) {
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(context_, "download-started", G_CALLBACK(OnDownloadStarted), this);
}

DownloadWatch::~DownloadWatch() {
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(context_, this);
}

gboolean DownloadWatch::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, DownloadWatch*) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  auto* answer = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(answer);
  if (!response || webkit_uri_response_get_status_code(response) >= 400) return FALSE;
  if (IsAttachment(response) || !webkit_response_policy_decision_is_mime_type_supported(answer)) {
    webkit_policy_decision_download(decision);
    return TRUE;
  }
  return FALSE;
}

void DownloadWatch::OnDownloadStarted(WebKitWebContext*, WebKitDownload* download,
                                      DownloadWatch* self) {
  DownloadHost* host = self->host_.EngineDownloads();
  if (!host) {
    webkit_download_cancel(download);
    return;
  }
  auto* job = new Job(download, *host);
  host->DownloadStarted(*job);
}

}  // namespace gtkplat
