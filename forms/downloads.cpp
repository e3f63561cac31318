#include "forms/downloads.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace forms {
namespace {

namespace fs = std::filesystem;

// The speed is what arrived over the last few seconds: steady enough to
// read, quick to follow a change.
constexpr std::int64_t kSpeedWindowMs = 3000;
constexpr std::int64_t kSpeedMinSpanMs = 250;
// What arrived while the user was choosing where to save it is written in
// one burst at the start, far faster than the network brings it: the
// first second of a transfer says nothing about its speed.
constexpr std::int64_t kSpeedSettleMs = 1000;
constexpr std::size_t kMaxNameBytes = 200;

std::FILE* OpenNew(const fs::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"wbx");
#else
  return std::fopen(path.c_str(), "wbx");
#endif
}

DownloadFailure FailureOfErrno(int error) {
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return DownloadFailure::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR: return DownloadFailure::kNotWritable;
    default: return DownloadFailure::kOther;
  }
}

// The length of the well-formed UTF-8 sequence starting at `s[i]`, 0 when
// there is none. Well-formed as RFC 3629 has it: an overlong form (C0 AF is
// a '/' to a lax decoder), a surrogate or a value past U+10FFFF is no
// character, and the toolkits refuse names holding one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) return 1;
  // The lead byte bounds the first continuation byte; that alone rules out
  // the overlong forms, the surrogates and the values too large.
  std::size_t n = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b == 0xE0) {
    n = 3;
    low = 0xA0;
  } else if (b == 0xED) {
    n = 3;
    high = 0x9F;
  } else if (b >= 0xE1 && b <= 0xEF) {
    n = 3;
  } else if (b == 0xF0) {
    n = 4;
    low = 0x90;
  } else if (b == 0xF4) {
    n = 4;
    high = 0x8F;
  } else if (b >= 0xF1 && b <= 0xF3) {
    n = 4;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (c < low || c > high) return 0;
    low = 0x80;
    high = 0xBF;
  }
  return n;
}

std::string Fixed(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", value);
  return buf;
}

}  // namespace

std::string SafeFileName(std::string_view suggested) {
  std::string out;
  for (std::size_t i = 0; i < suggested.size();) {
    const std::size_t n = Utf8Length(suggested, i);
    const char c = suggested[i];
    if (n == 0) {
      out += '_';
      ++i;
      continue;
    }
    if (n == 1) {
      const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
      out += control || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos ? '_' : c;
    } else {
      out.append(suggested.substr(i, n));
    }
    i += n;
  }
  // Leading dots would hide the file; trailing dots and spaces some systems drop.
  const std::size_t first = out.find_first_not_of(". ");
  out.erase(0, first == std::string::npos ? out.size() : first);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.empty()) return "download";
  if (out.size() > kMaxNameBytes) {
    // Cut the stem, keep the extension, and never split a character.
    const std::size_t dot = out.rfind('.');
    const std::string ext =
        dot != std::string::npos && out.size() - dot <= 16 ? out.substr(dot) : std::string();
    std::size_t keep = 0;
    while (keep < out.size()) {
      const std::size_t n = Utf8Length(out, keep);
      if (keep + n + ext.size() > kMaxNameBytes) break;
      keep += n;
    }
    // The cut may land after a space or a dot: trimmed as the whole was.
    while (keep > 0 && (out[keep - 1] == ' ' || out[keep - 1] == '.')) --keep;
    out = out.substr(0, keep) + ext;
  }
  return out;
}

int DownloadList::Begin(std::string url, std::string name, std::uint64_t total) {
  Download d;
  d.id = nextId_++;
  d.url = std::move(url);
  d.name = SafeFileName(name);
  d.total = total;
  items_.push_back(std::move(d));
  Tell(items_.back().id);
  return items_.back().id;
}

fs::path DownloadList::Chosen(int id, const fs::path& target) {
  Download* d = Item(id);
  if (!d || d->state != DownloadState::kAsking) return {};
  d->target = target;
  if (!target.filename().empty()) d->name = target.filename().string();
  std::error_code ec;
  const fs::space_info space = fs::space(target.parent_path(), ec);
  if (!ec && d->total > 0 && space.available < d->total) {
    Fail(*d, DownloadFailure::kDiskFull, 0, "");
    return {};
  }
  // The partial file is ours alone: a name nobody holds, made exclusively.
  int lastError = 0;
  for (int n = 0; n < 100; ++n) {
    char suffix[24] = ".part";
    if (n > 0) std::snprintf(suffix, sizeof suffix, ".%d.part", n);
    fs::path partial = target;
    partial += suffix;
    errno = 0;
    if (std::FILE* f = OpenNew(partial)) {
      std::fclose(f);
      d->partial = std::move(partial);
      d->state = DownloadState::kRunning;
      Tell(id);
      return d->partial;
    }
    lastError = errno;
    if (lastError != EEXIST) break;
  }
  Fail(*d, FailureOfErrno(lastError), 0, std::generic_category().message(lastError));
  return {};
}

void DownloadList::Declined(int id) {
  auto it =
      std::find_if(items_.begin(), items_.end(), [id](const Download& d) { return d.id == id; });
  if (it == items_.end() || it->state != DownloadState::kAsking) return;
  items_.erase(it);
  Tell(0);
}

void DownloadList::AddScratch(int id, fs::path file) {
  if (Download* d = Item(id)) d->scratch.push_back(std::move(file));
}

void DownloadList::Progress(int id, std::uint64_t received, std::uint64_t total,
                            std::int64_t nowMs) {
  Download* d = Item(id);
  if (!d || d->state != DownloadState::kRunning) return;
  d->received = received;
  if (total > 0) d->total = total;
  auto it = std::find_if(samples_.begin(), samples_.end(), [id](auto& s) { return s.id == id; });
  if (it == samples_.end()) it = samples_.insert(samples_.end(), {id, nowMs, {}});
  if (nowMs - it->firstMs < kSpeedSettleMs) {
    Tell(id);
    return;
  }
  std::deque<Sample>& window = it->window;
  window.push_back({nowMs, received});
  while (window.size() > 2 && nowMs - window[1].ms >= kSpeedWindowMs) window.pop_front();
  const std::int64_t span = nowMs - window.front().ms;
  if (span >= kSpeedMinSpanMs && received >= window.front().bytes) {
    d->bytesPerSecond =
        static_cast<double>(received - window.front().bytes) * 1000.0 / static_cast<double>(span);
  }
  Tell(id);
}

void DownloadList::Finished(int id) {
  Download* d = Item(id);
  if (!d || d->state != DownloadState::kRunning) return;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(d->partial, ec);
  if (ec) {
    Fail(*d, DownloadFailure::kOther, 0, ec.message());
    return;
  }
  // A transfer may call itself complete when the connection simply closed.
  if (d->total > 0 && size != d->total) {
    Fail(*d, DownloadFailure::kNetwork, 0, "");
    return;
  }
  fs::rename(d->partial, d->target, ec);
  if (ec) {
    Fail(*d, FailureOfErrno(ec.value()), 0, ec.message());
    return;
  }
  d->received = size;
  d->total = size;
  d->partial.clear();
  Discard(*d);  // what the engine left beside it
  d->state = DownloadState::kDone;
  Tell(id);
}

void DownloadList::Failed(int id, DownloadFailure failure, int httpStatus, std::string detail) {
  Download* d = Item(id);
  if (!d || (d->state != DownloadState::kRunning && d->state != DownloadState::kAsking)) return;
  Fail(*d, failure, httpStatus, std::move(detail));
}

void DownloadList::Cancel(int id) {
  Download* d = Item(id);
  if (!d || (d->state != DownloadState::kRunning && d->state != DownloadState::kAsking)) return;
  transfers_.CancelTransfer(id);
  // The transfer may have gone meanwhile (the call runs the backend).
  d = Item(id);
  if (!d) return;
  d->state = DownloadState::kCancelled;
  d->bytesPerSecond = 0;
  Discard(*d);
  Tell(id);
}

void DownloadList::CancelAll() {
  std::vector<int> live;
  for (const Download& d : items_) {
    if (d.state == DownloadState::kRunning || d.state == DownloadState::kAsking)
      live.push_back(d.id);
  }
  for (int id : live) Cancel(id);
}

void DownloadList::ClearFinished() {
  const auto before = items_.size();
  std::erase_if(items_, [](const Download& d) {
    return d.state != DownloadState::kRunning && d.state != DownloadState::kAsking;
  });
  std::erase_if(samples_, [this](auto& s) { return Find(s.id) == nullptr; });
  if (items_.size() != before) Tell(0);
}

const Download* DownloadList::Find(int id) const {
  for (const Download& d : items_) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

Download* DownloadList::Item(int id) { return const_cast<Download*>(Find(id)); }

int DownloadList::Running() const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const Download& d) {
    return d.state == DownloadState::kRunning || d.state == DownloadState::kAsking;
  }));
}

void DownloadList::Discard(Download& d) {
  std::error_code ec;
  if (!d.partial.empty()) fs::remove(d.partial, ec);
  for (const fs::path& file : d.scratch) fs::remove(file, ec);
  d.partial.clear();
  d.scratch.clear();
}

void DownloadList::Fail(Download& d, DownloadFailure failure, int httpStatus, std::string detail) {
  d.state = DownloadState::kFailed;
  d.failure = failure;
  d.httpStatus = httpStatus;
  d.detail = std::move(detail);
  d.bytesPerSecond = 0;
  Discard(d);
  Tell(d.id);
}

std::string DownloadList::SizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  return Fixed(value) + " " + units[unit];
}

std::string DownloadList::BytesText(const Download& d) {
  if (d.total == 0) return SizeText(d.received);
  return SizeText(d.received) + " / " + SizeText(d.total);
}

std::string DownloadList::SpeedText(double bytesPerSecond) {
  if (!(bytesPerSecond > 0)) return "";
  return SizeText(static_cast<std::uint64_t>(bytesPerSecond)) + "/秒";
}

std::string DownloadList::TimeLeftText(const Download& d) {
  if (d.total == 0 || d.received >= d.total || !(d.bytesPerSecond > 0)) return "";
  const double seconds = std::ceil(static_cast<double>(d.total - d.received) / d.bytesPerSecond);
  if (seconds > 99.0 * 3600) return "剩余时间很长";
  const auto s = static_cast<long>(seconds);
  char buf[64];
  if (s < 60) {
    std::snprintf(buf, sizeof buf, "剩余 %ld 秒", s);
  } else if (s < 3600) {
    std::snprintf(buf, sizeof buf, "剩余 %ld 分 %02ld 秒", s / 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "剩余 %ld 小时 %02ld 分", s / 3600, (s % 3600) / 60);
  }
  return buf;
}

std::string DownloadList::FailureText(const Download& d) {
  switch (d.failure) {
    case DownloadFailure::kHttpStatus:
      if (d.httpStatus == 404) return "服务器上没有这个文件（404）";
      return "服务器返回了错误（" + std::to_string(d.httpStatus) + "）";
    case DownloadFailure::kNetwork: return "连接中断，文件没有下载完整";
    case DownloadFailure::kDiskFull: return "磁盘空间不足";
    case DownloadFailure::kNotWritable: return "无法写入所选的文件夹";
    case DownloadFailure::kOther:
    case DownloadFailure::kNone: break;
  }
  return "下载出错";
}

std::string DownloadList::StatusText(const Download& d) {
  switch (d.state) {
    case DownloadState::kAsking: return "等待选择保存位置";
    case DownloadState::kRunning: {
      std::string text = BytesText(d);
      for (const std::string& part : {SpeedText(d.bytesPerSecond), TimeLeftText(d)}) {
        if (!part.empty()) text += "，" + part;
      }
      return text;
    }
    case DownloadState::kDone: return "已完成，" + SizeText(d.received);
    case DownloadState::kCancelled: return "已取消";
    case DownloadState::kFailed: return "失败：" + FailureText(d);
  }
  return "";
}

double DownloadList::Fraction(const Download& d) {
  if (d.state == DownloadState::kDone) return 1.0;
  if (d.total == 0) return -1.0;
  return std::min(1.0, static_cast<double>(d.received) / static_cast<double>(d.total));
}

}  // namespace forms
