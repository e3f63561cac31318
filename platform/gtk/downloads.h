// Downloads on Linux: what the engine starts is asked a place with the
// desktop's file chooser (one at a time, starting in the user's download
// folder with the server's name for the file), then runs into the partial
// file the download list makes, and shows in the download window. The list
// (forms/downloads.h) decides states, figures and what stays on disk. Not
// yet: resuming a failed download, a list kept from one run to the next, a
// way back to a closed download window other than the next download.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

#include "forms/downloads.h"
#include "forms/platform.h"
#include "send/service.h"
#include "web_engine.h"

namespace gtkplat {

class DownloadWindow;
class SendWindow;

class GtkDownloads final : public DownloadHost, private forms::DownloadTransfers {
 public:
  explicit GtkDownloads(forms::Platform& platform);
  ~GtkDownloads();

  forms::DownloadList& List() { return list_; }

  // DownloadHost
  void DownloadStarted(EngineDownload& download) override;
  void DownloadDestination(EngineDownload& download, const char* suggestedName) override;
  void DownloadProgress(EngineDownload& download, std::uint64_t received) override;
  void DownloadFinished(EngineDownload& download) override;
  void DownloadFailed(EngineDownload& download, DownloadError error, const char* message) override;

  // The download window to the front, made if it was not yet.
  void ShowWindow();
  // The window's buttons.
  void Open(int id);
  void ShowInFolder(int id);
  // "发送到手机": the finished file offered to phones, in a window of its
  // own (the same one again for the same download while it is open).
  void SendToPhone(int id);

 private:
  void CancelTransfer(int id) override;
  void AskNext();
  static void OnChosen(GtkNativeDialog* chooser, gint response, GtkDownloads* self);
  int IdOf(EngineDownload& download) const;
  GtkWindow* MainWindow() const;
  GtkWindow* ListWindow() const;

  forms::Platform& platform_;
  forms::DownloadList list_{*this};
  std::unique_ptr<DownloadWindow> window_;
  // The sender runs only while a send window is open.
  std::unique_ptr<sender::Service> sender_;
  std::map<int, std::unique_ptr<SendWindow>> sends_;
  // The engine's downloads by the list's id, while they run.
  std::map<int, EngineDownload*> jobs_;
  // Waiting for the chooser, first come first asked.
  std::deque<int> asking_;
  GtkFileChooserNative* chooser_ = nullptr;
  int chooserId_ = 0;
};

}  // namespace gtkplat
