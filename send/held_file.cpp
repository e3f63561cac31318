#include "send/held_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sender {
namespace {

bool SameFile(const struct stat& a, dev_t dev, ino_t ino, std::uint64_t size, std::int64_t sec,
              std::int64_t nsec) {
  return a.st_dev == dev && a.st_ino == ino && static_cast<std::uint64_t>(a.st_size) == size &&
         a.st_mtim.tv_sec == sec && a.st_mtim.tv_nsec == nsec;
}

}  // namespace

std::optional<HeldFile> HeldFile::Open(const std::string& path, std::string* error) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    *error = "没有给出要发送的文件。";
    return std::nullopt;
  }
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
  // writer. It changes nothing for a regular file.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = "无法打开要发送的文件：" + std::string(std::strerror(errno));
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = "要发送的不是一个普通文件。";
    return std::nullopt;
  }
  return HeldFile(fd, path, st);
}

HeldFile::HeldFile(int fd, std::string path, const struct stat& st)
    : fd_(fd),
      path_(std::move(path)),
      dev_(st.st_dev),
      ino_(st.st_ino),
      size_(static_cast<std::uint64_t>(st.st_size)),
      mtimeSec_(st.st_mtim.tv_sec),
      mtimeNsec_(st.st_mtim.tv_nsec) {}

HeldFile::HeldFile(HeldFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      dev_(other.dev_),
      ino_(other.ino_),
      size_(other.size_),
      mtimeSec_(other.mtimeSec_),
      mtimeNsec_(other.mtimeNsec_) {}

HeldFile::~HeldFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool HeldFile::Intact() const {
  struct stat held {
  }, named{};
  if (::fstat(fd_, &held) != 0 || held.st_nlink == 0) return false;
  if (::stat(path_.c_str(), &named) != 0) return false;
  return SameFile(held, dev_, ino_, size_, mtimeSec_, mtimeNsec_) &&
         SameFile(named, dev_, ino_, size_, mtimeSec_, mtimeNsec_);
}

std::string HeldFile::ETag() const {
  char tag[80];
  std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx.%lx\"", static_cast<unsigned long long>(ino_),
                static_cast<unsigned long long>(size_), static_cast<unsigned long long>(mtimeSec_),
                static_cast<unsigned long>(mtimeNsec_));
  return tag;
}

bool HeldFile::Read(std::uint64_t offset, std::span<char> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace sender
