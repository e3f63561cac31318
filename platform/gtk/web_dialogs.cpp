// Script dialogs of the engine module, answered without UI and paced by
// DialogLimit: a page looping on alert(), confirm() or prompt() waits for
// its answers instead of spinning its process and ours, and in the end is
// left paused. Not done: telling the program, or the user, that a page was
// silenced.
#include "web_dialogs.h"

#include <algorithm>

namespace gtkplat {
namespace {

std::int64_t NowMs() { return g_get_monotonic_time() / 1000; }

void Answer(WebKitScriptDialog* dialog) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    // The page must never keep the frame from going elsewhere: yes, leave.
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default: break;  // an alert has nothing to answer, a prompt's is none
  }
}

}  // namespace

ScriptDialogs::ScriptDialogs(WebKitWebView* view) : view_(view) {
  g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnTerminated), this);
}

ScriptDialogs::~ScriptDialogs() {
  g_signal_handlers_disconnect_by_data(view_, this);
  PageGone();
}

void ScriptDialogs::PageGone() {
  if (timer_) g_source_remove(timer_);
  timer_ = 0;
  limit_.NewDocument();
  // Closing answers the page's process, which may call back into the view:
  // the list is emptied first.
  std::vector<Waiting> waiting;
  waiting.swap(waiting_);
  for (const Waiting& w : waiting) {
    webkit_script_dialog_close(w.dialog);
    webkit_script_dialog_unref(w.dialog);
  }
}

gboolean ScriptDialogs::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog,
                                       ScriptDialogs* self) {
  Answer(dialog);
  // Leaving the page is never held back, however many dialogs it asked.
  if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
    return TRUE;
  }
  const std::int64_t now = NowMs();
  std::int64_t due = 0;
  switch (self->limit_.Next(now)) {
    case DialogLimit::Answer::kNow: return TRUE;
    case DialogLimit::Answer::kLater: due = now + DialogLimit::kTrickleMs; break;
    case DialogLimit::Answer::kNever: due = kNever; break;
  }
  // Kept: the dialog is answered when closed, and not before.
  self->waiting_.push_back({webkit_script_dialog_ref(dialog), due});
  self->ArmTimer();
  return TRUE;
}

void ScriptDialogs::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, ScriptDialogs* self) {
  // Committed: another document shows, possibly from another process, and
  // the old one's dialogs belong to nobody.
  if (event == WEBKIT_LOAD_COMMITTED) self->PageGone();
}

void ScriptDialogs::OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                 ScriptDialogs* self) {
  self->PageGone();
}

void ScriptDialogs::ArmTimer() {
  if (timer_) g_source_remove(timer_);
  timer_ = 0;
  std::int64_t next = kNever;
  for (const Waiting& w : waiting_) next = std::min(next, w.dueMs);
  if (next == kNever) return;
  const std::int64_t wait = std::max<std::int64_t>(0, next - NowMs());
  timer_ = g_timeout_add(static_cast<guint>(wait), &AnswerDue, this);
}

gboolean ScriptDialogs::AnswerDue(gpointer data) {
  auto* self = static_cast<ScriptDialogs*>(data);
  self->timer_ = 0;
  const std::int64_t now = NowMs();
  std::vector<WebKitScriptDialog*> due;
  auto it = std::stable_partition(self->waiting_.begin(), self->waiting_.end(),
                                  [now](const Waiting& w) { return w.dueMs > now; });
  for (auto d = it; d != self->waiting_.end(); ++d) due.push_back(d->dialog);
  self->waiting_.erase(it, self->waiting_.end());
  self->ArmTimer();
  for (WebKitScriptDialog* dialog : due) {
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace gtkplat
