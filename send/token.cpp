#include "send/token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace sender {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool ReadAll(int fd, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool SystemRandom(std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done == out.size()) return true;
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ReadAll(fd, out);
  ::close(fd);
  return ok;
}

std::optional<std::string> NewToken(const RandomSource& random, std::string* error) {
  std::array<std::uint8_t, kTokenBytes> bytes{};
  if (!(random ? random(bytes) : SystemRandom(bytes))) {
    *error = "无法从系统取得随机数，不能生成发送地址。";
    return std::nullopt;
  }
  std::string token;
  token.reserve(kTokenLength);
  // Six bits at a time, most significant first; the last character carries
  // the remaining two bits.
  std::uint32_t buffer = 0;
  int bits = 0;
  for (std::uint8_t byte : bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      token += kAlphabet[(buffer >> bits) & 0x3F];
    }
  }
  if (bits > 0) token += kAlphabet[(buffer << (6 - bits)) & 0x3F];
  return token;
}

bool TokensEqual(std::string_view a, std::string_view b) {
  // Every byte of the shorter length is looked at whatever they hold.
  unsigned difference = a.size() == b.size() ? 0 : 1;
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
  }
  // The compiler may not skip the loop once it sees a difference: the
  // result is read through a volatile.
  volatile unsigned result = difference;
  return result == 0;
}

}  // namespace sender
