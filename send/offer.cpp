#include "send/offer.h"

#include <sys/socket.h>

#include <utility>

namespace sender {

Offer::Offer(std::string token, std::string fileName, HeldFile file, OfferLimits limits, Now now)
    : token_(std::move(token)),
      fileName_(std::move(fileName)),
      file_(std::move(file)),
      limits_(limits),
      now_(std::move(now)),
      lastActivity_(now_()) {
  bucketIndex_.fill(-1);
}

bool Offer::ExpiredLocked(Clock::time_point now) const {
  // A transfer that runs longer than the expiry is still use of the send.
  return expired_ || (transfers_.empty() && now - lastActivity_ >= limits_.expiry);
}

bool Offer::Admit() {
  if (withdrawn_) return false;
  std::lock_guard lock(mutex_);
  Clock::time_point now = now_();
  if (ExpiredLocked(now)) {
    expired_ = true;  // for good: a late request does not bring it back
    return false;
  }
  lastActivity_ = now;
  return true;
}

bool Offer::BeginTransfer(int sock) {
  std::lock_guard lock(mutex_);
  if (withdrawn_ || static_cast<int>(transfers_.size()) >= limits_.maxPhones) return false;
  transfers_.insert(sock);
  return true;
}

void Offer::EndTransfer(int sock, bool completedWholeFile) {
  std::lock_guard lock(mutex_);
  transfers_.erase(sock);
  lastActivity_ = now_();
  if (completedWholeFile) ++completed_;
}

void Offer::CountSent(std::uint64_t bytes) {
  bytesSent_ += bytes;
  std::int64_t index = now_().time_since_epoch() / kBucket;
  std::lock_guard lock(mutex_);
  std::size_t slot = static_cast<std::size_t>(index % kSpeedBuckets);
  if (bucketIndex_[slot] != index) {
    bucketIndex_[slot] = index;
    bucketBytes_[slot] = 0;
  }
  bucketBytes_[slot] += bytes;
}

void Offer::Withdraw() {
  std::lock_guard lock(mutex_);
  withdrawn_ = true;
  // Under the lock: a transfer's socket stays open until its EndTransfer,
  // which waits for this, so no number here can belong to another socket.
  for (int sock : transfers_) ::shutdown(sock, SHUT_RDWR);
}

SendStatus Offer::Status() const {
  SendStatus status;
  status.bytesSent = bytesSent_;
  status.fileGone = fileGone_;
  std::lock_guard lock(mutex_);
  Clock::time_point now = now_();
  status.phones = static_cast<int>(transfers_.size());
  status.completed = completed_;
  status.expired = ExpiredLocked(now);
  std::int64_t index = now.time_since_epoch() / kBucket;
  std::uint64_t recent = 0;
  for (int i = 0; i < kSpeedBuckets; ++i) {
    if (bucketIndex_[i] >= 0 && index - bucketIndex_[i] < kSpeedBuckets) recent += bucketBytes_[i];
  }
  status.bytesPerSecond = recent * 1000 / (kSpeedBuckets * kBucket.count());
  return status;
}

}  // namespace sender
