// Piece-by-piece sending of a FileSlice, paced against the clock.
#include "site/file_sender.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace site {
namespace {

using Clock = std::chrono::steady_clock;

// Pauses are cut into short naps so a stop or a gone client is seen soon.
constexpr auto kNap = std::chrono::milliseconds(50);

struct SendState {
  FileSlice slice;
  std::uint64_t bytesPerSecond;
  std::function<bool()> stopping;
  std::size_t piece;
  std::vector<char> buffer;
  std::optional<Clock::time_point> start;
};

// The moment `sent` bytes are allowed to have gone out: pacing against the
// start rather than the previous piece keeps the rate exact when a piece
// goes out late.
Clock::time_point DueTime(const SendState& state, std::uint64_t sent) {
  auto micros = static_cast<std::int64_t>(sent * 1'000'000 / state.bytesPerSecond);
  return *state.start + std::chrono::microseconds(micros);
}

// False when the wait was cut short by a stop or a dead connection.
bool WaitUntil(Clock::time_point due, const SendState& state, httplib::DataSink& sink) {
  for (auto now = Clock::now(); now < due; now = Clock::now()) {
    std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kNap));
    if ((state.stopping && state.stopping()) || !sink.is_writable()) return false;
  }
  return true;
}

bool SendPiece(SendState& state, std::size_t offset, std::size_t length, httplib::DataSink& sink) {
  if (state.bytesPerSecond > 0) {
    if (!state.start) state.start = Clock::now();
    if (!WaitUntil(DueTime(state, offset), state, sink)) return false;
  }
  std::size_t n = std::min(length, state.piece);
  std::size_t got =
      state.slice.file.Read(state.slice.offset + offset, std::span<char>(state.buffer.data(), n));
  // Reading short would mean the slice lies past the file's end; better to
  // break the connection than to send a body shorter than announced.
  if (got != n) return false;
  return sink.write(state.buffer.data(), n);
}

}  // namespace

httplib::ContentProvider FileProvider(FileSlice slice, std::uint64_t bytesPerSecond,
                                      std::function<bool()> stopping) {
  std::size_t piece = kMaxSendPiece;
  if (bytesPerSecond > 0) {
    piece = static_cast<std::size_t>(std::clamp<std::uint64_t>(bytesPerSecond / 10, 1, piece));
  }
  auto state = std::make_shared<SendState>(
      SendState{std::move(slice), bytesPerSecond, std::move(stopping), piece, {}, {}});
  return [state](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
    // httplib calls this outside any try block of its own.
    try {
      if (state->buffer.empty()) state->buffer.resize(state->piece);
      return SendPiece(*state, offset, length, sink);
    } catch (...) {
      return false;
    }
  };
}

}  // namespace site
