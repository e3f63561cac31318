// The one frame a starting instance sends the running one over the link:
// writing it, and reading it from whatever part of it has arrived so far.
// Pure bytes in and out, no sockets and no GLib, so every reading of a
// hostile peer's bytes can be checked without a connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gtkplat {

// Magic, command length, start-up id length (both 32 bits, host order: the
// two ends are the same program on the same machine), then the command and
// the id.
inline constexpr char kLinkFrameMagic[4] = {'K', 'V', 'L', '1'};
inline constexpr std::size_t kLinkFrameHeaderSize = 12;
inline constexpr std::size_t kLinkStartupIdLimit = 1024;

struct LinkFrame {
  // Not "Status": Xlib defines that as a macro for whoever includes both.
  enum class Verdict {
    kIncomplete,  // a prefix of a frame that may still become whole
    kBad,         // no more bytes can make a frame of it
    kComplete,    // exactly one frame, nothing after it
  };
  Verdict verdict = Verdict::kIncomplete;
  // Views into the bytes given, set only when complete.
  std::string_view command;
  std::string_view startupId;
};

// `bytes` is everything received on one connection so far.
LinkFrame ReadLinkFrame(std::string_view bytes);

// The frame for `command` and `startupId`; the caller keeps both within
// their limits (forms::kLinkCommandLimit, kLinkStartupIdLimit).
std::string WriteLinkFrame(std::string_view command, std::string_view startupId);

}  // namespace gtkplat
