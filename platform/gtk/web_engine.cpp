// The engine module: a WebKitWebView set up for one film site. It shows no
// dialog of its own while silent (script dialogs are always answered
// without UI, paced by web_dialogs.cpp), reports its loads, hands the
// page's context-menu request to the program and sends pages' new-window
// requests to the desktop's browser. Hidden for a while, it ends the page's
// process and keeps a picture of the page; shown again, the picture is
// there at once while the page comes back from its history entry behind
// it. A page that is loading, playing sound or typed into keeps its
// process, unless the process no longer answers. A navigation the program
// asks for always wins: a process stuck in its page's script is ended and
// the navigation made in a fresh one. A process that ends on its own is
// replaced by a reload, and by our own page when it ends again soon after.
// Its downloads are web_downloads.cpp's, its failed loads web_errors.cpp's.
// Not yet: script errors as events, frames' own documents, a stuck page
// that the user (not the program) wants to leave.
#include "web_engine.h"

#include <malloc.h>
#include <sys/mman.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "page_limits.h"
#include "web_dialogs.h"
#include "web_downloads.h"
#include "web_errors.h"
#include "web_process.h"

namespace gtkplat {
namespace {

// A page that is loading or playing sound is asked again this much later.
constexpr guint kReleaseRetryMs = 5000;
// A hidden page's process that does not answer within this long is stuck
// in its script: it is ended without a picture.
constexpr guint kHiddenProbeMs = 3000;

std::int64_t NowMs() { return g_get_monotonic_time() / 1000; }

bool IsHtml(const char* mime) {
  return mime && (g_ascii_strcasecmp(mime, "text/html") == 0 ||
                  g_ascii_strcasecmp(mime, "application/xhtml+xml") == 0);
}

bool IsWebAddress(const char* uri) {
  return uri && (g_ascii_strncasecmp(uri, "http://", 7) == 0 ||
                 g_ascii_strncasecmp(uri, "https://", 8) == 0);
}

// Asks the kernel to drop this process's resident pages of files it maps
// (the libraries, fonts, data): they are clean and come back on the next
// touch. Anonymous memory is left alone. Kernels before 5.4 answer EINVAL.
void PageOutLibraries() {
#ifdef MADV_PAGEOUT
  FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return;
  char line[4096];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long start = 0, end = 0;
    char perms[8] = "";
    int path = 0;
    if (std::sscanf(line, "%lx-%lx %7s %*s %*s %*s %n", &start, &end, perms, &path) < 3) continue;
    // Files only, never a writable mapping (its pages may be dirty).
    if (line[path] != '/' || perms[1] == 'w' || end <= start) continue;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_PAGEOUT);
  }
  std::fclose(maps);
#endif
}

class WebKitEngine final : public WebEngine {
 public:
  WebKitEngine(WebEngineHost& host, const WebEngineOptions& options);
  ~WebKitEngine() override;

  GtkWidget* Widget() override { return overlay_; }
  void Focus() override { gtk_widget_grab_focus(view_); }
  void Navigate(const char* url) override;
  bool GoBack() override;
  bool GoForward() override;
  void Reload() override;
  void Stop() override { webkit_web_view_stop_loading(View()); }
  void ShowErrorPage(const char* html, const char* uri) override;
  bool ShowsHtml() override;
  void SetWindowHidden(bool hidden) override;

 private:
  WebKitWebView* View() const { return WEBKIT_WEB_VIEW(view_); }

  // Makes a navigation, and makes it again in a fresh process should the
  // page's own not take it up. `fromFrame`: the frame asked for it, which
  // gives a page whose process keeps ending its reload again.
  void Load(std::function<void()> go, bool fromFrame = true);
  bool GoTo(WebKitBackForwardListItem* item);
  void ProcessStuck();
  void ProcessLost();
  // The page's process is ended; a hidden page comes back when shown.
  void EndProcess(bool keepPicture);

  void ArmRelease(guint ms);
  static gboolean ReleaseDue(gpointer data);
  void ReleaseProbed(bool answered);
  static void SnapshotTaken(GObject* view, GAsyncResult* result, gpointer data);
  // The page's process is back (or coming) for whatever the caller does next.
  void Revived();
  void StopSnapshot();
  static gboolean DrawPicture(GtkWidget* area, cairo_t* cr, WebKitEngine* self);

  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, WebKitEngine* self);
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* click,
                                WebKitHitTestResult*, WebKitEngine* self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, WebKitEngine* self);
  static gboolean OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request,
                                 WebKitEngine* self);
  static gboolean OnPrint(WebKitWebView*, WebKitPrintOperation*, WebKitEngine* self);
  static gboolean OnPermission(WebKitWebView*, WebKitPermissionRequest* request,
                               WebKitEngine* self);
  static gboolean OnDrawn(GtkWidget*, cairo_t*, WebKitEngine* self);

  WebEngineHost& host_;
  GtkWidget* view_;
  // The view, and above it the picture of a released page.
  GtkWidget* overlay_;
  GtkWidget* picture_;
  bool committed_ = false;

  const guint releaseAfterMs_;
  bool hidden_ = false;
  bool released_ = false;
  bool awaitingFrame_ = false;
  guint releaseSource_ = 0;
  GCancellable* snapshotting_ = nullptr;
  cairo_surface_t* snapshot_ = nullptr;
  std::unique_ptr<DownloadWatch> downloads_;
  std::unique_ptr<LoadFailures> failures_;
  // Before the watch: a page's dialogs are answered before it recovers.
  std::unique_ptr<ScriptDialogs> dialogs_;
  std::unique_ptr<ProcessWatch> watch_;
  // The last navigation made, to make again in a fresh process.
  std::function<void()> redo_;
  ProcessEnds ends_;
};

// The settings are the view's from its construction, so a view that is
// never to composite does not start out compositing.
WebKitSettings* MakeSettings(const WebEngineOptions& options) {
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  if (options.acceleration == Acceleration::kNever) {
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  return settings;
}

GtkWidget* MakeView(const WebEngineOptions& options) {
  g_autoptr(WebKitSettings) settings = MakeSettings(options);
  return webkit_web_view_new_with_settings(settings);
}

WebKitEngine::WebKitEngine(WebEngineHost& host, const WebEngineOptions& options)
    : host_(host),
      view_(MakeView(options)),
      overlay_(gtk_overlay_new()),
      picture_(gtk_drawing_area_new()),
      // Composited, a page brought back was seen blank for a moment before
      // its first frame (with software GL): only pages drawn by the web
      // process's CPU, which come back seamlessly, are ever released.
      releaseAfterMs_(options.acceleration == Acceleration::kNever ? options.releaseHiddenAfterMs
                                                                   : 0) {
  // All three ours until the engine goes, whatever destroys the window
  // around them first.
  g_object_ref_sink(overlay_);
  g_object_ref_sink(view_);
  g_object_ref_sink(picture_);
  host_.EngineTrace("webview-created");
  gtk_container_add(GTK_CONTAINER(overlay_), view_);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), picture_);
  gtk_widget_set_no_show_all(picture_, TRUE);
  g_signal_connect(picture_, "draw", G_CALLBACK(DrawPicture), this);
  gtk_widget_show(view_);

  g_signal_connect(view_, "authenticate", G_CALLBACK(OnAuthenticate), this);
  g_signal_connect(view_, "print", G_CALLBACK(OnPrint), this);
  g_signal_connect(view_, "permission-request", G_CALLBACK(OnPermission), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect_after(view_, "draw", G_CALLBACK(OnDrawn), this);
  downloads_ = std::make_unique<DownloadWatch>(View(), host_);
  failures_ = std::make_unique<LoadFailures>(View(), host_);
  dialogs_ = std::make_unique<ScriptDialogs>(View());
  watch_ = std::make_unique<ProcessWatch>(
      View(), ProcessWatch::Hooks{[this] { ProcessStuck(); }, [this] { ProcessLost(); }});
}

WebKitEngine::~WebKitEngine() {
  // Its loads must not reach a host that is going away.
  downloads_.reset();
  failures_.reset();
  watch_.reset();
  dialogs_.reset();
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(picture_, this);
  if (releaseSource_) g_source_remove(releaseSource_);
  StopSnapshot();
  if (snapshot_) cairo_surface_destroy(snapshot_);
  gtk_widget_destroy(overlay_);
  g_object_unref(picture_);
  g_object_unref(view_);
  g_object_unref(overlay_);
}

void WebKitEngine::Navigate(const char* url) {
  Revived();
  Load([this, target = std::string(url)] { webkit_web_view_load_uri(View(), target.c_str()); });
}

void WebKitEngine::Reload() {
  if (!released_) {
    Load([this] { webkit_web_view_reload(View()); });
    return;
  }
  // Brought back from its history entry: the page as it was left.
  Revived();
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(View());
  WebKitBackForwardListItem* item = webkit_back_forward_list_get_current_item(list);
  if (item) {
    webkit_web_view_go_to_back_forward_list_item(View(), item);
  } else {
    webkit_web_view_reload(View());
  }
}

void WebKitEngine::ShowErrorPage(const char* html, const char* uri) {
  Revived();
  Load([this, page = std::string(html),
        at = std::string(uri)] { failures_->ShowPage(page.c_str(), at.c_str()); },
       false);
}

void WebKitEngine::Load(std::function<void()> go, bool fromFrame) {
  if (fromFrame) ends_.NewNavigation();
  redo_ = go;
  // Answered, the dialog would only let the page's loop ask the next one.
  if (dialogs_->Holding() && watch_->Live()) {
    host_.EngineTrace("page-stuck", true);
    EndProcess(false);
    released_ = false;
  }
  go();
  watch_->Navigating();
}

void WebKitEngine::ProcessStuck() {
  host_.EngineTrace("page-stuck", true);
  EndProcess(false);
  released_ = false;
  // A copy: the navigation may ask for another, which replaces redo_.
  const std::function<void()> redo = redo_;
  if (redo) redo();
}

void WebKitEngine::ProcessLost() {
  host_.EngineTrace("page-lost", true);
  StopSnapshot();
  if (hidden_) {
    // Nobody sees it: it comes back from its history entry when shown.
    EndProcess(false);
    return;
  }
  if (ends_.ReloadAfterEnd(NowMs())) {
    webkit_web_view_reload(View());
    return;
  }
  const char* uri = webkit_web_view_get_uri(View());
  const std::string address = uri ? uri : "";
  // The host may end the engine meanwhile: nothing of ours afterwards.
  host_.EngineLoadFailed(address.c_str(), WebEngineHost::Failure::kPageStopped, 0);
}

void WebKitEngine::EndProcess(bool keepPicture) {
  StopSnapshot();
  if (watch_->Live()) watch_->End();
  // A picture of a page that stuck or went away would show what is no more.
  if (!keepPicture && snapshot_) {
    cairo_surface_destroy(snapshot_);
    snapshot_ = nullptr;
    gtk_widget_hide(picture_);
  }
  released_ = hidden_;
}

void WebKitEngine::Revived() {
  released_ = false;
  // Hidden, the page may go again after a while of its own.
  ArmRelease(hidden_ ? releaseAfterMs_ : 0);
}

void WebKitEngine::StopSnapshot() {
  if (!snapshotting_) return;
  // Its callback sees the cancellation and touches nothing of ours.
  g_cancellable_cancel(snapshotting_);
  g_clear_object(&snapshotting_);
}

void WebKitEngine::SetWindowHidden(bool hidden) {
  hidden_ = hidden;
  if (!hidden) {
    ArmRelease(0);
    StopSnapshot();
    if (!released_) return;
    // The picture first, in the frame that shows the window; the page
    // replaces it once loaded.
    if (snapshot_) gtk_widget_show(picture_);
    host_.EngineTrace("page-revive", true);
    Reload();
    return;
  }
  if (!released_) ArmRelease(releaseAfterMs_);
}

void WebKitEngine::ArmRelease(guint ms) {
  if (releaseSource_) g_source_remove(releaseSource_);
  releaseSource_ = ms ? g_timeout_add(ms, &ReleaseDue, this) : 0;
}

gboolean WebKitEngine::ReleaseDue(gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  self->releaseSource_ = 0;
  if (!self->hidden_ || self->released_ || self->snapshotting_ || !self->committed_ ||
      !self->watch_->Live()) {
    return G_SOURCE_REMOVE;
  }
  // A page stuck in its script burns a core unseen, loading or not: first
  // whether its process still answers at all.
  self->watch_->Probe(kHiddenProbeMs, [self](bool answered) { self->ReleaseProbed(answered); });
  return G_SOURCE_REMOVE;
}

void WebKitEngine::ReleaseProbed(bool answered) {
  if (!hidden_ || released_ || snapshotting_) return;
  if (!answered) {
    host_.EngineTrace("page-stuck", true);
    EndProcess(false);
    return;
  }
  WebKitWebView* view = View();
  if (webkit_web_view_is_loading(view) || webkit_web_view_is_playing_audio(view)) {
    ArmRelease(kReleaseRetryMs);
    return;
  }
  // Something typed into the page (its undo list says so) would not come
  // back from the page's history entry: such a page keeps its process.
  // Asked of the engine's own state, not of a script: a script's answer
  // would start a JavaScript machine in this process, 15 MB for a yes/no.
  if (webkit_editor_state_is_undo_available(webkit_web_view_get_editor_state(view))) {
    host_.EngineTrace("page-kept", true);
    return;
  }
  snapshotting_ = g_cancellable_new();
  webkit_web_view_get_snapshot(view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE,
                               snapshotting_, &SnapshotTaken, this);
}

void WebKitEngine::SnapshotTaken(GObject* view, GAsyncResult* result, gpointer data) {
  g_autoptr(GError) error = nullptr;
  cairo_surface_t* shot =
      webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, &error);
  // Cancelled: the engine may be gone; nothing of it is touched.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    if (shot) cairo_surface_destroy(shot);
    return;
  }
  auto* self = static_cast<WebKitEngine*>(data);
  g_clear_object(&self->snapshotting_);
  // Without a picture the page could not come back at once: it stays.
  if (!shot || !self->hidden_ || webkit_web_view_is_loading(self->View())) {
    if (shot) cairo_surface_destroy(shot);
    if (self->hidden_) self->ArmRelease(self->releaseAfterMs_);
    return;
  }
  if (self->snapshot_) cairo_surface_destroy(self->snapshot_);
  self->snapshot_ = shot;
  self->EndProcess(true);
  // What the ended page freed in this process goes back to the system, and
  // so do the clean pages of the libraries mapped here: a hidden window
  // runs none of their code, and shown again it faults them back in from
  // the page cache.
  malloc_trim(0);
  PageOutLibraries();
  self->host_.EngineTrace("page-released", true);
}

gboolean WebKitEngine::DrawPicture(GtkWidget* area, cairo_t* cr, WebKitEngine* self) {
  if (!self->snapshot_) return FALSE;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  // The picture was taken at the screen's scale.
  double sx = 1, sy = 1;
  cairo_surface_get_device_scale(self->snapshot_, &sx, &sy);
  const int scale = gtk_widget_get_scale_factor(area);
  if (sx == 1 && scale > 1) cairo_scale(cr, 1.0 / scale, 1.0 / scale);
  cairo_set_source_surface(cr, self->snapshot_, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

bool WebKitEngine::GoBack() {
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(View());
  return GoTo(webkit_back_forward_list_get_back_item(list));
}

bool WebKitEngine::GoForward() {
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(View());
  return GoTo(webkit_back_forward_list_get_forward_item(list));
}

bool WebKitEngine::GoTo(WebKitBackForwardListItem* item) {
  if (!item) return false;
  Revived();
  // The entry itself, not "one back": made again in a fresh process, the
  // history may already stand where it was going.
  std::shared_ptr<WebKitBackForwardListItem> entry(
      static_cast<WebKitBackForwardListItem*>(g_object_ref(item)), g_object_unref);
  Load([this, entry] { webkit_web_view_go_to_back_forward_list_item(View(), entry.get()); });
  return true;
}

bool WebKitEngine::ShowsHtml() {
  WebKitWebResource* main = webkit_web_view_get_main_resource(View());
  WebKitURIResponse* response = main ? webkit_web_resource_get_response(main) : nullptr;
  // WebKit's own pages (a failed load's error page) have no response.
  return response && IsHtml(webkit_uri_response_get_mime_type(response));
}

void WebKitEngine::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, WebKitEngine* self) {
  switch (event) {
    case WEBKIT_LOAD_STARTED: self->host_.EngineLoad(WebEngineHost::Load::kStarted); break;
    case WEBKIT_LOAD_COMMITTED:
      self->committed_ = true;
      self->host_.EngineLoad(WebEngineHost::Load::kCommitted);
      break;
    case WEBKIT_LOAD_FINISHED:
      // The page is back where its picture was; the picture goes with the
      // view's next frame, which is the page's.
      if (gtk_widget_get_visible(self->picture_)) self->awaitingFrame_ = true;
      self->host_.EngineLoad(WebEngineHost::Load::kFinished);
      break;
    default: break;
  }
}

gboolean WebKitEngine::OnDrawn(GtkWidget*, cairo_t*, WebKitEngine* self) {
  if (self->committed_) self->host_.EngineTrace("page-drawn");
  if (self->awaitingFrame_) {
    self->awaitingFrame_ = false;
    self->host_.EngineTrace("page-back-live", true);
    gtk_widget_hide(self->picture_);
  }
  return FALSE;
}

gboolean WebKitEngine::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* click,
                                     WebKitHitTestResult*, WebKitEngine* self) {
  // The program's menu may unload the form and this engine with it: nothing
  // of ours is touched afterwards.
  return self->host_.EngineContextMenu(click) ? TRUE : FALSE;
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView*, WebKitNavigationAction* action,
                                  WebKitEngine* self) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  // Anything else (javascript:, file:, about:) is no address for a browser.
  if (IsWebAddress(uri)) self->host_.EngineOpenElsewhere(uri);
  return nullptr;  // no view of ours: WebKit opens nothing itself
}

gboolean WebKitEngine::OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request,
                                      WebKitEngine* self) {
  if (!self->host_.EngineSilent()) return FALSE;
  // Carried on without credentials, as a person dismissing the login would:
  // the page that came with the refusal shows.
  webkit_authentication_request_authenticate(request, nullptr);
  return TRUE;
}

gboolean WebKitEngine::OnPrint(WebKitWebView*, WebKitPrintOperation*, WebKitEngine* self) {
  return self->host_.EngineSilent() ? TRUE : FALSE;
}

gboolean WebKitEngine::OnPermission(WebKitWebView*, WebKitPermissionRequest* request,
                                    WebKitEngine* self) {
  if (!self->host_.EngineSilent()) return FALSE;
  webkit_permission_request_deny(request);
  return TRUE;
}

}  // namespace
}  // namespace gtkplat

extern "C" G_MODULE_EXPORT gtkplat::WebEngine* kivo_create_web_engine(
    gtkplat::WebEngineHost* host, const gtkplat::WebEngineOptions* options) {
  if (!host || !options) return nullptr;
  return new gtkplat::WebKitEngine(*host, *options);
}
