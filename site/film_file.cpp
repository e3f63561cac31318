// Builds the MP4 box tree of a film's file and produces its frame bytes on
// demand. Field layouts follow ISO/IEC 14496-12; all integers big-endian.
#include "site/film_file.h"

#include <algorithm>
#include <cassert>
#include <string_view>

namespace site {
namespace {

constexpr std::uint32_t kWidth = 64;
constexpr std::uint32_t kHeight = 48;
constexpr std::uint32_t kFrameBytes = kWidth * kHeight * 3;  // RGB, 24 bits a pixel
constexpr std::uint32_t kTimescale = 1000;
constexpr std::uint32_t kFrameDuration = 100;  // ten frames a second

std::uint64_t Mix(std::uint64_t x) {
  // splitmix64's finaliser: every input bit reaches every output bit.
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v & 0xFFFF);
}

void PutZeros(std::string& out, std::size_t n) { out.append(n, '\0'); }

std::string Box(std::string_view type, std::string_view payload) {
  std::string box;
  Put32(box, static_cast<std::uint32_t>(8 + payload.size()));
  box += type;
  box += payload;
  return box;
}

// A "full box" starts its payload with a version byte and 24 bits of flags.
std::string FullBox(std::string_view type, std::uint32_t flags, std::string_view payload) {
  std::string body;
  Put32(body, flags & 0xFFFFFF);  // version 0
  body += payload;
  return Box(type, body);
}

void PutUnityMatrix(std::string& out) {
  for (std::uint32_t v : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) Put32(out, v);
}

std::string Mvhd(std::uint32_t duration) {
  std::string p;
  Put32(p, 0);  // creation time
  Put32(p, 0);  // modification time
  Put32(p, kTimescale);
  Put32(p, duration);
  Put32(p, 0x10000);  // rate 1.0
  Put16(p, 0x100);    // volume 1.0
  PutZeros(p, 10);
  PutUnityMatrix(p);
  PutZeros(p, 24);
  Put32(p, 2);  // next track id
  return FullBox("mvhd", 0, p);
}

std::string Tkhd(std::uint32_t duration) {
  std::string p;
  Put32(p, 0);
  Put32(p, 0);
  Put32(p, 1);  // track id
  Put32(p, 0);
  Put32(p, duration);
  PutZeros(p, 8);
  Put16(p, 0);  // layer
  Put16(p, 0);  // alternate group
  Put16(p, 0);  // volume: a video track has none
  Put16(p, 0);
  PutUnityMatrix(p);
  Put32(p, kWidth << 16);
  Put32(p, kHeight << 16);
  return FullBox("tkhd", 0x3, p);  // enabled, in the movie
}

std::string Mdhd(std::uint32_t duration) {
  std::string p;
  Put32(p, 0);
  Put32(p, 0);
  Put32(p, kTimescale);
  Put32(p, duration);
  Put16(p, 0x55C4);  // "und", packed ISO-639-2/T
  Put16(p, 0);
  return FullBox("mdhd", 0, p);
}

std::string Hdlr() {
  std::string p;
  Put32(p, 0);
  p += "vide";
  PutZeros(p, 12);
  p += "VideoHandler";
  p += '\0';
  return FullBox("hdlr", 0, p);
}

// QuickTime's 'raw ' entry: frames stored as plain RGB, which any noise is.
std::string RawVideoSampleEntry() {
  std::string p;
  PutZeros(p, 6);
  Put16(p, 1);  // data reference index
  PutZeros(p, 16);
  Put16(p, kWidth);
  Put16(p, kHeight);
  Put32(p, 0x480000);  // 72 dpi
  Put32(p, 0x480000);
  Put32(p, 0);
  Put16(p, 1);  // frames per sample
  PutZeros(p, 32);
  Put16(p, 24);      // depth
  Put16(p, 0xFFFF);  // no colour table
  return Box("raw ", p);
}

std::string Stbl(std::uint32_t frames, std::uint32_t firstFrameOffset) {
  std::string stsd;
  Put32(stsd, 1);
  stsd += RawVideoSampleEntry();
  std::string stts;
  Put32(stts, 1);
  Put32(stts, frames);
  Put32(stts, kFrameDuration);
  std::string stsc;
  Put32(stsc, 1);
  Put32(stsc, 1);       // from chunk 1 on,
  Put32(stsc, frames);  // every frame in the one chunk,
  Put32(stsc, 1);       // described by entry 1
  std::string stsz;
  Put32(stsz, kFrameBytes);
  Put32(stsz, frames);
  std::string stco;
  Put32(stco, 1);
  Put32(stco, firstFrameOffset);
  return Box("stbl", FullBox("stsd", 0, stsd) + FullBox("stts", 0, stts) +
                         FullBox("stsc", 0, stsc) + FullBox("stsz", 0, stsz) +
                         FullBox("stco", 0, stco));
}

std::string Moov(std::uint32_t frames, std::uint32_t firstFrameOffset) {
  std::uint32_t duration = frames * kFrameDuration;
  std::string vmhd;
  PutZeros(vmhd, 8);                           // graphics mode copy, no opcolor
  std::string url = FullBox("url ", 0x1, "");  // media in this file
  std::string dref;
  Put32(dref, 1);
  dref += url;
  std::string minf =
      Box("minf", FullBox("vmhd", 0x1, vmhd) + Box("dinf", FullBox("dref", 0, dref)) +
                      Stbl(frames, firstFrameOffset));
  std::string mdia = Box("mdia", Mdhd(duration) + Hdlr() + minf);
  return Box("moov", Mvhd(duration) + Box("trak", Tkhd(duration) + mdia));
}

std::string Ftyp() {
  std::string p = "isom";
  Put32(p, 0x200);
  p += "isommp42";
  return Box("ftyp", p);
}

}  // namespace

FilmFile::FilmFile(int id) : id_(id), seed_(Mix(static_cast<std::uint64_t>(id))) {
  std::uint64_t target = kMinFilmFileSize + Mix(seed_) % kFilmFileSizeSpread;
  // The moov box has the same length whatever the frame count, so its
  // length can be measured with a stand-in before the real one is built.
  std::string ftyp = Ftyp();
  std::size_t moovSize = Moov(0, 0).size();
  std::uint64_t fixed = ftyp.size() + moovSize + 8 + 8;  // + free and mdat headers
  auto frames = static_cast<std::uint32_t>((target - fixed) / kFrameBytes);
  std::uint64_t padding = target - fixed - std::uint64_t{frames} * kFrameBytes;
  auto firstFrame = static_cast<std::uint32_t>(fixed + padding);

  head_ = ftyp + Moov(frames, firstFrame);
  assert(head_.size() == ftyp.size() + moovSize);
  head_ += Box("free", std::string(padding, '\0'));
  Put32(head_, static_cast<std::uint32_t>(8 + std::uint64_t{frames} * kFrameBytes));
  head_ += "mdat";
  size_ = head_.size() + std::uint64_t{frames} * kFrameBytes;
}

std::size_t FilmFile::Read(std::uint64_t offset, std::span<char> out) const {
  if (offset >= size_) return 0;
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
  std::size_t done = 0;
  if (offset < head_.size()) {
    done = std::min(n, static_cast<std::size_t>(head_.size() - offset));
    std::copy_n(head_.data() + offset, done, out.data());
  }
  // Frame bytes: 8-byte words, word k being Mix(seed ^ k), little-endian,
  // so a slice starting anywhere matches the same slice of the whole.
  std::uint64_t pos = offset + done - head_.size();
  while (done < n) {
    std::uint64_t word = Mix(seed_ ^ (pos / 8));
    for (unsigned byte = pos % 8; byte < 8 && done < n; ++byte, ++pos) {
      out[done++] = static_cast<char>((word >> (8 * byte)) & 0xFF);
    }
  }
  return n;
}

std::string FilmFile::Bytes() const {
  std::string bytes(size_, '\0');
  Read(0, bytes);
  return bytes;
}

}  // namespace site
