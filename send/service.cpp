#include "send/service.h"

#include <arpa/inet.h>

#include <utility>

#include "send/page.h"
#include "send/server.h"

namespace sender {
namespace {

// Empty when `address` is one a phone could be sent to; otherwise why not.
std::string CheckAddress(const std::string& address, bool allowLoopback) {
  if (address.empty()) return "没有选择用来发送的网络地址。";
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
    return "“" + address + "”不是一个 IPv4 地址。";
  }
  std::uint32_t host = ntohl(parsed.s_addr);
  if ((host >> 24) == 127 && !allowLoopback) {
    return "本机回环地址（" + address + "）无法从手机访问，请选择局域网地址。";
  }
  if (host == 0 || host == 0xFFFFFFFF || (host >> 28) == 0xE) {
    return address + " 不是本机的一个网络地址。";
  }
  return {};
}

}  // namespace

Service::Service(ServiceOptions options) : options_(std::move(options)) {
  if (!options_.now) options_.now = [] { return Clock::now(); };
}

Service::~Service() {
  std::lock_guard lock(mutex_);
  if (server_) server_->Stop();
}

Opened Service::Open(const std::string& path, const std::string& displayName,
                     const std::string& address) {
  Opened result;
  result.error = CheckAddress(address, options_.allowLoopbackForTests);
  if (!result.error.empty()) return result;

  std::lock_guard lock(mutex_);
  if (server_ && address != serverAddress_) {
    result.error =
        "正在从 " + serverAddress_ + " 发送其他文件，请先停止那些发送，再换用 " + address + "。";
    return result;
  }
  std::optional<HeldFile> file = HeldFile::Open(path, &result.error);
  if (!file) return result;
  std::optional<std::string> token = NewToken(options_.random, &result.error);
  if (!token) return result;

  if (!server_) {
    auto server = std::make_unique<Server>(options_.writeTimeout);
    if (!server->Start(address, options_.port, &result.error)) return result;
    server_ = std::move(server);
    serverAddress_ = address;
  }
  std::string name = FileNameFor(path, displayName);
  auto offer =
      std::make_shared<Offer>(*token, std::move(name), std::move(*file),
                              OfferLimits{options_.maxPhones, options_.expiry}, options_.now);
  server_->Add(offer);
  result.handle = ++lastHandle_;
  std::string url =
      "http://" + address + ":" + std::to_string(server_->Port()) + "/" + *token + "/";
  sends_.emplace(result.handle, Entry{std::move(offer), std::move(url)});
  result.error.clear();
  return result;
}

void Service::Close(SendHandle handle) {
  std::lock_guard lock(mutex_);
  auto it = sends_.find(handle);
  if (it == sends_.end()) return;
  server_->Remove(it->second.offer);
  sends_.erase(it);
  if (sends_.empty()) {
    server_->Stop();
    server_.reset();
  }
}

std::optional<SendStatus> Service::Status(SendHandle handle) const {
  std::lock_guard lock(mutex_);
  auto it = sends_.find(handle);
  if (it == sends_.end()) return std::nullopt;
  return it->second.offer->Status();
}

std::string Service::Url(SendHandle handle) const {
  std::lock_guard lock(mutex_);
  auto it = sends_.find(handle);
  return it == sends_.end() ? std::string() : it->second.url;
}

}  // namespace sender
