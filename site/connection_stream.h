// One client connection as httplib sees it. Between requests the site reads
// the request head itself (see server.h for why) from bytes already
// buffered; while httplib handles a request it first reads a stand-in head
// built from the client's, then whatever follows on the socket.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "site/router.h"

namespace site {

// Single header lines longer than this are dropped before httplib sees them,
// which would otherwise refuse the whole request (its compiled-in limit is
// 8192 per line). No header this long matters to the site; the likely one
// is a Referer holding a long search address.
inline constexpr std::size_t kMaxForwardedHeaderLine = 8000;

class ConnectionStream final : public httplib::Stream {
 public:
  enum class Head { kRequest, kClosed, kLineTooLong, kHeadTooLarge };

  ConnectionStream(socket_t sock, int readTimeoutMs, int writeTimeoutMs)
      : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

  // Received and not yet consumed.
  std::string_view Buffered() const { return std::string_view(inbox_).substr(inboxPos_); }
  bool HasBufferedInput() const { return inboxPos_ < inbox_.size(); }

  // Appends what the socket has right now without waiting. The bytes that
  // arrived; `ended` is set when the client has closed or the socket failed.
  std::string_view FillNow(bool* ended);

  // Parses the next request head from buffered bytes only; a HeadScanner
  // must have found it complete. Never waits on the socket: a head that
  // turns out incomplete after all is kClosed. A head whose framing can't
  // be trusted (both Content-Length and Transfer-Encoding, differing
  // lengths, a coding other than chunked, folded or malformed header lines)
  // is kRequest with a stand-in httplib answers with 400, and MustClose().
  Head ReadHead();

  // The line of the request ReadHead() last read, without its line ending;
  // for kLineTooLong, as much of it as was read.
  const std::string& RequestLine() const { return requestLine_; }

  // Header lines of the last request kept from httplib, value untrimmed.
  const HeaderList& HeldBackHeaders() const { return heldBack_; }

  // The request came with a body, which httplib is never given, or was
  // unusable: nothing more can be read in step.
  bool MustClose() const { return unreadBody_; }

  // `onStatus` hears the status of the next final (non-1xx) response just
  // before its first byte is sent.
  void ExpectResponse(std::function<void(int)> onStatus);
  // Reports status 0 if no response went out since ExpectResponse.
  int FinishResponse();

  void WriteAll(std::string_view data) { write(data.data(), data.size()); }

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return sock_; }

 private:
  enum class LineResult { kLine, kEnded, kTooLong };

  void DropConsumedInput();
  ssize_t Fill();
  LineResult ReadLine(std::size_t limit, std::string* line);
  // Checks one header line; false when it makes the request unusable.
  bool TakeHeaderLine(std::string_view line, std::string* forwarded);

  socket_t sock_;
  int readTimeoutMs_;
  int writeTimeoutMs_;

  std::string inbox_;  // bytes received and not yet consumed from inboxPos_
  std::size_t inboxPos_ = 0;
  std::string presented_;  // the stand-in head httplib reads first
  std::size_t presentedPos_ = 0;
  std::string requestLine_;
  HeaderList heldBack_;
  bool unreadBody_ = false;

  // Framing of the request being read.
  std::string contentLength_;  // the one length all Content-Length lines agree on
  std::string transferCoding_;
  bool hasTransferEncoding_ = false;
  bool framingBroken_ = false;

  std::function<void(int)> onStatus_;
  bool awaitingStatus_ = false;
  int status_ = 0;
};

}  // namespace site
