// One file on offer to phones under one token: what its requests may do and
// what the window reads back as progress. Requests come in on the server's
// workers while the window polls, so every member is safe from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "send/held_file.h"

namespace sender {

using Clock = std::chrono::steady_clock;
using Now = std::function<Clock::time_point()>;

struct SendStatus {
  std::uint64_t bytesSent = 0;       // to all phones together, every range counted
  std::uint64_t bytesPerSecond = 0;  // over the last two seconds
  int phones = 0;                    // file transfers under way now
  int completed = 0;                 // whole-file downloads that ran to the end
  bool fileGone = false;             // removed, replaced or changed on disk
  bool expired = false;              // no request for the expiry time; no longer served
};

struct OfferLimits {
  int maxPhones = 4;
  std::chrono::milliseconds expiry = std::chrono::minutes(30);
};

class Offer {
 public:
  Offer(std::string token, std::string fileName, HeldFile file, OfferLimits limits, Now now);

  const std::string& Token() const { return token_; }
  const std::string& FileName() const { return fileName_; }
  const HeldFile& File() const { return file_; }

  // A request reached this offer: false when it expired or was withdrawn
  // (the request then gets what any unknown address gets); otherwise the
  // expiry clock starts again.
  bool Admit();

  // A file transfer on `sock` may start: false when maxPhones are already
  // under way. Each true is matched by one EndTransfer.
  bool BeginTransfer(int sock);
  void EndTransfer(int sock, bool completedWholeFile);

  void CountSent(std::uint64_t bytes);
  void MarkFileGone() { fileGone_ = true; }

  // No more requests, and transfers under way are cut off now: their
  // sockets are shut down, so their workers come free at once.
  void Withdraw();
  bool Withdrawn() const { return withdrawn_; }

  SendStatus Status() const;

 private:
  bool ExpiredLocked(Clock::time_point now) const;

  static constexpr int kSpeedBuckets = 20;  // of 100 ms: the two-second window
  static constexpr auto kBucket = std::chrono::milliseconds(100);

  const std::string token_;
  const std::string fileName_;
  const HeldFile file_;
  const OfferLimits limits_;
  const Now now_;

  std::atomic<bool> withdrawn_{false};
  std::atomic<bool> fileGone_{false};
  std::atomic<std::uint64_t> bytesSent_{0};

  mutable std::mutex mutex_;
  Clock::time_point lastActivity_;
  bool expired_ = false;
  std::set<int> transfers_;  // sockets of the transfers under way
  int completed_ = 0;
  std::array<std::uint64_t, kSpeedBuckets> bucketBytes_{};
  std::array<std::int64_t, kSpeedBuckets> bucketIndex_{};
};

}  // namespace sender
