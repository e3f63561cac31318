// The downloads the browser runs, as the list the user sees: each one's
// state, its figures (bytes, speed, time left) and the texts that show
// them, and what happens on disk. A download is written under a partial
// name beside the chosen file and takes the chosen name only once all of
// it has arrived, so a cancelled or failed download leaves nothing behind
// and a file it was to replace is untouched until the new one is complete.
// The backend runs the transfers (DownloadTransfers) and reports to the
// list; the window showing the list watches it (Changed).
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace forms {

enum class DownloadState {
  kAsking,  // waiting for the user to choose where to save it
  kRunning,
  kDone,
  kFailed,
  kCancelled,
};

enum class DownloadFailure {
  kNone,
  kHttpStatus,  // the server answered with an error instead of the file
  kNetwork,     // the connection failed or ended early
  kDiskFull,
  kNotWritable,  // the folder cannot be written (permissions, read-only)
  kOther,
};

struct Download {
  int id = 0;
  std::string url;
  std::string name;  // the file's name as shown (the chosen one once chosen)
  std::filesystem::path target;
  std::filesystem::path partial;
  DownloadState state = DownloadState::kAsking;
  DownloadFailure failure = DownloadFailure::kNone;
  int httpStatus = 0;
  std::string detail;  // the system's words for a failure, for the curious
  std::uint64_t received = 0;
  std::uint64_t total = 0;  // 0: the server did not say
  double bytesPerSecond = 0;
  // Files the engine makes beside the partial one; they go with it.
  std::vector<std::filesystem::path> scratch;
};

// The backend's side: ends a transfer the user cancelled (it then reports
// nothing more for that download).
class DownloadTransfers {
 public:
  virtual void CancelTransfer(int id) = 0;

 protected:
  ~DownloadTransfers() = default;
};

class DownloadList {
 public:
  explicit DownloadList(DownloadTransfers& transfers) : transfers_(transfers) {}
  DownloadList(const DownloadList&) = delete;
  DownloadList& operator=(const DownloadList&) = delete;

  // --- the backend reports ----------------------------------------------
  // A download was asked for; it waits for a place to be saved. `name` is
  // the server's suggestion. Returns its id.
  int Begin(std::string url, std::string name, std::uint64_t total);
  // The user chose `target`. The partial file is made beside it at once, so
  // an unwritable folder or a full disk fail here, before any transfer.
  // Returns the partial file's path for the transfer to write, or an empty
  // path when the download failed (the list says why).
  std::filesystem::path Chosen(int id, const std::filesystem::path& target);
  // The user chose nothing: the download is dropped from the list.
  void Declined(int id);
  void AddScratch(int id, std::filesystem::path file);
  void Progress(int id, std::uint64_t received, std::uint64_t total, std::int64_t nowMs);
  // All of it arrived: the partial file takes the chosen name.
  void Finished(int id);
  void Failed(int id, DownloadFailure failure, int httpStatus, std::string detail);

  // --- the user ----------------------------------------------------------
  void Cancel(int id);
  // Every download still asking or running ends (the program is ending).
  void CancelAll();
  // Finished, failed and cancelled downloads leave the list.
  void ClearFinished();

  // --- what the window shows ---------------------------------------------
  const std::deque<Download>& Items() const { return items_; }
  const Download* Find(int id) const;
  // Asking or running.
  int Running() const;
  // Called with the id of every download that changed, and 0 when some
  // left the list.
  std::function<void(int id)> Changed;

  static std::string SizeText(std::uint64_t bytes);
  // "1.2 MB / 3.4 MB" or "1.2 MB" when the total is unknown.
  static std::string BytesText(const Download& d);
  static std::string SpeedText(double bytesPerSecond);
  // "剩余 1 分 05 秒"; empty when it cannot be known.
  static std::string TimeLeftText(const Download& d);
  // The one line under the bar: figures while running, else the outcome.
  static std::string StatusText(const Download& d);
  static std::string FailureText(const Download& d);
  // 0..1; -1 when the total is unknown.
  static double Fraction(const Download& d);

 private:
  Download* Item(int id);
  void Discard(Download& d);
  void Fail(Download& d, DownloadFailure failure, int httpStatus, std::string detail);
  void Tell(int id) {
    if (Changed) Changed(id);
  }

  struct Sample {
    std::int64_t ms;
    std::uint64_t bytes;
  };
  DownloadTransfers& transfers_;
  std::deque<Download> items_;
  // Recent progress per download, for the speed: a window of a few seconds.
  struct Samples {
    int id;
    std::int64_t firstMs;
    std::deque<Sample> window;
  };
  std::vector<Samples> samples_;
  int nextId_ = 1;
};

// A name the file system takes: separators and control characters out,
// never empty, never "." or "..", at most 200 bytes of UTF-8 kept whole.
std::string SafeFileName(std::string_view suggested);

}  // namespace forms
