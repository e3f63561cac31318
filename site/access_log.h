// The request log: one line per request, "METHOD TARGET STATUS", where
// TARGET is the request target exactly as it stood on the request line,
// before any decoding or normalisation ("GET //xiazai/ 200").
//
// So that one request is always exactly one line of three space-separated
// fields, bytes that cannot stand in such a line are written as %XX (upper
// case hex): control bytes 0x00-0x1F, space, DEL 0x7F and every byte
// 0x80-0xFF. Printable ASCII, '%' included, is written as received, so a
// target that arrived percent-encoded reads back unchanged; a logged "%E5"
// may thus stand for three ASCII bytes or for one raw byte.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace site {

std::string EscapeForLog(std::string_view raw);

// An empty method or target is written as "-"; so is a status of 0, meaning
// no response was sent.
std::string FormatLogLine(std::string_view method, std::string_view rawTarget, int status);

struct RequestLineParts {
  std::string_view method;
  std::string_view target;
  std::string_view version;
};

// `line` without its line ending. The method runs to the first space and the
// version starts after the last one; the target is everything between, so a
// malformed line still logs all it carried.
RequestLineParts SplitRequestLine(std::string_view line);

// Appends lines to a file opened with O_APPEND. Each line goes out in a
// single write() under a lock, unbuffered, so readers of the file see whole
// lines as soon as the request is answered.
class AccessLog {
 public:
  // Fails (returning false and setting `error`) when the file can't be
  // opened for appending.
  bool Open(const std::string& path, std::string* error);
  void Write(std::string_view line);
  ~AccessLog();

 private:
  std::mutex mutex_;
  int fd_ = -1;
};

}  // namespace site
