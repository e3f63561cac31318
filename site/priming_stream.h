// A request from memory and its answer into nothing: run once through
// httplib's process_request before any worker exists, it makes httplib
// build what it otherwise builds on first use (see the servers' priming).
#pragma once

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace site {

class PrimingStream final : public httplib::Stream {
 public:
  explicit PrimingStream(std::string request) : request_(std::move(request)) {}
  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    std::size_t n = std::min(size, request_.size() - pos_);
    std::memcpy(ptr, request_.data() + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
  void get_remote_ip_and_port(std::string&, int&) const override {}
  void get_local_ip_and_port(std::string&, int&) const override {}
  socket_t socket() const override { return INVALID_SOCKET; }

 private:
  std::string request_;
  std::size_t pos_ = 0;
};

}  // namespace site
