// Downloads on Linux: the engine's downloads meet the download list here.
// A download is asked a place with the desktop's file chooser, then written
// by the engine into the partial file the list made beside the chosen one;
// its progress, end and failure go to the list, which the download window
// shows. "Open" and "show in folder" go to the desktop's own handlers.
#include "downloads.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "download_window.h"
#include "send_window.h"
#include "gtk_form.h"
#include "gtk_platform.h"

namespace gtkplat {
namespace {

std::int64_t NowMs() { return g_get_monotonic_time() / 1000; }

std::string DownloadFolder() {
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (folder && g_file_test(folder, G_FILE_TEST_IS_DIR)) return folder;
  return g_get_home_dir();
}

forms::DownloadFailure FailureOf(DownloadError error, const char* message) {
  switch (error) {
    case DownloadError::kNetwork: return forms::DownloadFailure::kNetwork;
    case DownloadError::kDestination:
      // The engine says only that writing failed; its words say why.
      return message && (std::strstr(message, "space") || std::strstr(message, "quota"))
                 ? forms::DownloadFailure::kDiskFull
                 : forms::DownloadFailure::kNotWritable;
    case DownloadError::kCancelled:
    case DownloadError::kOther: break;
  }
  return forms::DownloadFailure::kOther;
}

}  // namespace

GtkDownloads::GtkDownloads(forms::Platform& platform) : platform_(platform) {}

GtkDownloads::~GtkDownloads() {
  // The send windows first: each withdraws its film, and the last stops
  // the sender before it goes.
  sends_.clear();
  sender_.reset();
  if (chooser_) {
    g_signal_handlers_disconnect_by_data(chooser_, this);
    gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(chooser_));
    g_object_unref(chooser_);
  }
  list_.CancelAll();
}

void GtkDownloads::DownloadStarted(EngineDownload&) {
  // Nothing to show until the response says what it is.
}

void GtkDownloads::DownloadDestination(EngineDownload& download, const char* suggestedName) {
  Guarded([&] {
    const int id = list_.Begin(download.Uri(), suggestedName, download.Length());
    jobs_[id] = &download;
    if (!window_ || window_->Gone()) window_ = std::make_unique<DownloadWindow>(*this);
    window_->Present(MainWindow());
    if (const int status = download.HttpStatus(); status >= 400) {
      // An error page is no film: nothing is saved.
      list_.Failed(id, forms::DownloadFailure::kHttpStatus, status, "");
      jobs_.erase(id);
      download.Cancel();
      return;
    }
    asking_.push_back(id);
    AskNext();
  });
}

void GtkDownloads::ShowWindow() {
  if (!window_ || window_->Gone()) window_ = std::make_unique<DownloadWindow>(*this);
  window_->Present(MainWindow());
  window_->Raise();
}

void GtkDownloads::AskNext() {
  while (!chooser_ && !asking_.empty()) {
    const int id = asking_.front();
    asking_.pop_front();
    const forms::Download* d = list_.Find(id);
    if (!d || d->state != forms::DownloadState::kAsking) continue;
    chooserId_ = id;
    chooser_ = gtk_file_chooser_native_new("保存文件", MainWindow(), GTK_FILE_CHOOSER_ACTION_SAVE,
                                           "保存(_S)", "取消(_C)");
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(chooser_);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    gtk_file_chooser_set_current_folder(chooser, DownloadFolder().c_str());
    gtk_file_chooser_set_current_name(chooser, d->name.c_str());
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser_), TRUE);
    g_signal_connect(chooser_, "response", G_CALLBACK(OnChosen), this);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser_));
  }
}

void GtkDownloads::OnChosen(GtkNativeDialog* dialog, gint response, GtkDownloads* self) {
  Guarded([&] {
    const int id = self->chooserId_;
    g_autofree char* file = response == GTK_RESPONSE_ACCEPT
                                ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))
                                : nullptr;
    self->chooser_ = nullptr;
    self->chooserId_ = 0;
    auto job = self->jobs_.find(id);
    EngineDownload* download = job != self->jobs_.end() ? job->second : nullptr;
    if (!file) {
      self->list_.Declined(id);
      if (download) {
        self->jobs_.erase(job);
        download->Cancel();
      }
    } else {
      const std::filesystem::path partial = self->list_.Chosen(id, file);
      if (download && !partial.empty()) {
        // WebKit writes beside the file it is given, then renames.
        std::filesystem::path scratch = partial;
        scratch += ".wkdownload";
        self->list_.AddScratch(id, std::move(scratch));
        download->SaveTo(partial.c_str());
      } else if (download) {
        self->jobs_.erase(job);
        download->Cancel();
      }
    }
    self->AskNext();
  });
  g_object_unref(dialog);
}

void GtkDownloads::DownloadProgress(EngineDownload& download, std::uint64_t received) {
  if (const int id = IdOf(download)) {
    Guarded([&] { list_.Progress(id, received, download.Length(), NowMs()); });
  }
}

void GtkDownloads::DownloadFinished(EngineDownload& download) {
  if (const int id = IdOf(download)) {
    jobs_.erase(id);
    Guarded([&] { list_.Finished(id); });
  }
}

void GtkDownloads::DownloadFailed(EngineDownload& download, DownloadError error,
                                  const char* message) {
  if (const int id = IdOf(download)) {
    jobs_.erase(id);
    Guarded([&] { list_.Failed(id, FailureOf(error, message), 0, message ? message : ""); });
  }
}

void GtkDownloads::CancelTransfer(int id) {
  auto job = jobs_.find(id);
  if (job == jobs_.end()) return;
  EngineDownload* download = job->second;
  jobs_.erase(job);
  download->Cancel();
}

int GtkDownloads::IdOf(EngineDownload& download) const {
  for (const auto& [id, job] : jobs_) {
    if (job == &download) return id;
  }
  return 0;
}

GtkWindow* GtkDownloads::MainWindow() const {
  for (forms::Form* form : platform_.LoadedForms()) {
    NativeWindow* w = WindowOf(form->hWnd());
    GtkWindow* window = w && w->form ? w->form->Window() : nullptr;
    if (window && gtk_widget_get_visible(GTK_WIDGET(window))) return window;
  }
  return nullptr;
}

GtkPlatform::~GtkPlatform() = default;

GtkDownloads& GtkPlatform::Downloads() {
  if (!downloads_) downloads_ = std::make_unique<GtkDownloads>(*this);
  return *downloads_;
}

int GtkPlatform::RunningDownloads() { return downloads_ ? downloads_->List().Running() : 0; }

bool GtkPlatform::ShowDownloads() {
  if (!toolkit_) return false;
  Downloads().ShowWindow();
  return true;
}

void GtkPlatform::CancelDownloads() {
  if (downloads_) downloads_->List().CancelAll();
}

void GtkDownloads::Open(int id) {
  const forms::Download* d = list_.Find(id);
  if (!d || d->state != forms::DownloadState::kDone) return;
  g_autofree char* uri = g_filename_to_uri(d->target.c_str(), nullptr, nullptr);
  if (uri) platform_.ShellExecute(nullptr, "open", uri, "", "", forms::kSwShowNormal);
}

void GtkDownloads::ShowInFolder(int id) {
  const forms::Download* d = list_.Find(id);
  if (!d || d->state != forms::DownloadState::kDone) return;
  g_autofree char* uri = g_filename_to_uri(d->target.parent_path().c_str(), nullptr, nullptr);
  if (uri) platform_.ShellExecute(nullptr, "open", uri, "", "", forms::kSwShowNormal);
}

void GtkDownloads::SendToPhone(int id) {
  const forms::Download* d = list_.Find(id);
  if (!d || d->state != forms::DownloadState::kDone) return;
  if (auto it = sends_.find(id); it != sends_.end()) {
    it->second->Raise();
    return;
  }
  if (!sender_) {
    sender::ServiceOptions options;
    // How long a send may go without a request: shortened by the tests.
    if (const char* idle = g_getenv("KIVO_SEND_IDLE_SECONDS")) {
      const long seconds = std::strtol(idle, nullptr, 10);
      if (seconds > 0 && seconds < 24 * 3600) options.expiry = std::chrono::seconds(seconds);
    }
    sender_ = std::make_unique<sender::Service>(options);
  }
  GtkWindow* owner = window_ && !window_->Gone() ? window_->Window() : MainWindow();
  sends_[id] = std::make_unique<SendWindow>(*sender_, owner, d->target, d->name);
}

}  // namespace gtkplat
