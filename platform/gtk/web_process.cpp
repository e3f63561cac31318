// The engine module's watch on the page's web process. The question it asks
// is whether "Copy" could run: a round trip to the page's process that runs
// no script and starts no JavaScript machine, answered as soon as the
// process gets back to its event loop, so a page spinning in script, or
// paused in a dialog we keep waiting, does not answer it. Not done: a
// process that answers but takes long over everything it is asked.
#include "web_process.h"

namespace gtkplat {

ProcessWatch::ProcessWatch(WebKitWebView* view, Hooks hooks)
    : view_(view), hooks_(std::move(hooks)) {
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnTerminated), this);
}

ProcessWatch::~ProcessWatch() {
  g_signal_handlers_disconnect_by_data(view_, this);
  Disarm();
}

void ProcessWatch::Navigating() {
  if (!live_) return;  // a process made for this navigation is not watched
  navigating_ = true;
  Probe(kNavigationGraceMs, [this](bool answered) {
    if (!navigating_) return;  // the load started meanwhile
    navigating_ = false;
    if (!answered) hooks_.stuck();
  });
}

void ProcessWatch::Probe(guint ms, std::function<void(bool)> answer) {
  Disarm();
  answer_ = std::move(answer);
  probing_ = g_cancellable_new();
  webkit_web_view_can_execute_editing_command(view_, WEBKIT_EDITING_COMMAND_COPY, probing_,
                                              &OnProbed, this);
  probeTimer_ = g_timeout_add(ms, &ProbeTimedOut, this);
}

void ProcessWatch::End() {
  live_ = false;
  navigating_ = false;
  Disarm();
  webkit_web_view_terminate_web_process(view_);
}

void ProcessWatch::Disarm() {
  if (probeTimer_) g_source_remove(probeTimer_);
  probeTimer_ = 0;
  // Its answer, whenever it comes, sees the cancellation and touches
  // nothing of ours.
  if (probing_) g_cancellable_cancel(probing_);
  g_clear_object(&probing_);
  answer_ = nullptr;
}

void ProcessWatch::Answered(bool answered) {
  // The answer may end the process, which disarms: taken out first.
  std::function<void(bool)> answer = std::move(answer_);
  Disarm();
  if (answer) answer(answered);
}

void ProcessWatch::OnProbed(GObject* view, GAsyncResult* result, gpointer data) {
  g_autoptr(GError) error = nullptr;
  webkit_web_view_can_execute_editing_command_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
  // Any answer at all, "no" or an error, came from a process that listens.
  static_cast<ProcessWatch*>(data)->Answered(true);
}

gboolean ProcessWatch::ProbeTimedOut(gpointer data) {
  auto* self = static_cast<ProcessWatch*>(data);
  self->probeTimer_ = 0;
  self->Answered(false);
  return G_SOURCE_REMOVE;
}

void ProcessWatch::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, ProcessWatch* self) {
  self->live_ = true;
  if (event == WEBKIT_LOAD_STARTED) self->navigating_ = false;
}

void ProcessWatch::OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                ProcessWatch* self) {
  self->live_ = false;
  self->navigating_ = false;
  self->Disarm();
  // Ended by us (a released or stuck page): whoever ended it goes on.
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  self->hooks_.lost();
}

}  // namespace gtkplat
