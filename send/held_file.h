// The file a send offers, opened once when the send starts and read with
// pread from then on: never written, never reopened by name. If the path is
// removed or replaced, or the file changes under it, the send notices on
// the next request and stops serving rather than hand out other bytes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sender {

class HeldFile {
 public:
  // A regular file, opened read-only; none (and `error` set) for anything
  // else. Never waits: a FIFO is refused, not opened for reading.
  static std::optional<HeldFile> Open(const std::string& path, std::string* error);

  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&&) = delete;
  ~HeldFile();

  std::uint64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }

  // The path still names this very file, unchanged since it was opened:
  // same device and inode, size and modification time, and still linked.
  bool Intact() const;

  // A strong entity tag for this version of the file (inode, size and
  // modification time), quotes included, so a phone can resume a download
  // with If-Range and be sure the rest comes from the same file.
  std::string ETag() const;

  // Reads exactly out.size() bytes at `offset`; false if the file ends
  // first or the read fails.
  bool Read(std::uint64_t offset, std::span<char> out) const;

 private:
  HeldFile(int fd, std::string path, const struct stat& st);

  int fd_ = -1;
  std::string path_;
  dev_t dev_;
  ino_t ino_;
  std::uint64_t size_;
  std::int64_t mtimeSec_;
  std::int64_t mtimeNsec_;
};

}  // namespace sender
