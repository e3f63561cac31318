#include "site/access_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace site {
namespace {

#ifdef _WIN32
// Byte for byte as on Linux (no CR added), and kept from child processes.
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT | O_BINARY | O_NOINHERIT;
#else
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
#endif

}  // namespace

std::string EscapeForLog(std::string_view raw) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    auto b = static_cast<std::uint8_t>(c);
    if (b <= 0x20 || b >= 0x7F) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string FormatLogLine(std::string_view method, std::string_view rawTarget, int status) {
  std::string line = method.empty() ? "-" : EscapeForLog(method);
  line += ' ';
  line += rawTarget.empty() ? "-" : EscapeForLog(rawTarget);
  line += ' ';
  line += status > 0 ? std::to_string(status) : "-";
  return line;
}

RequestLineParts SplitRequestLine(std::string_view line) {
  RequestLineParts parts;
  std::size_t first = line.find(' ');
  parts.method = line.substr(0, first);
  if (first == std::string_view::npos) return parts;
  std::size_t last = line.rfind(' ');
  if (last == first) {
    parts.target = line.substr(first + 1);
  } else {
    parts.target = line.substr(first + 1, last - first - 1);
    parts.version = line.substr(last + 1);
  }
  return parts;
}

bool AccessLog::Open(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), kOpenFlags, 0644);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

void AccessLog::Write(std::string_view line) {
  std::string buffer(line);
  buffer += '\n';
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return;
  std::size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n = ::write(fd_, buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A full disk must not take the site down; the line is lost instead.
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

AccessLog::~AccessLog() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace site
