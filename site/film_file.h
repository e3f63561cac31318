// The file a film's download link serves: a small MP4 (ISO base media) made
// up on the spot from the film's id, so the site ships no video files and
// every film still downloads different bytes of a different size.
//
// Layout: ftyp, moov (one video track of 64x48 uncompressed RGB frames at
// 10 per second, all in one chunk), a free box whose length makes the total
// size come out exactly, then mdat holding the frames. The frames are noise
// from a counter-based generator seeded by the id, so any byte range can be
// produced on its own without building the whole file: a throttled download
// asks for one small slice at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace site {

class FilmFile {
 public:
  // Any id gives a file; the site only serves the catalogue's.
  explicit FilmFile(int id);

  int Id() const { return id_; }
  std::uint64_t Size() const { return size_; }

  // Copies the bytes from `offset` on into `out` and returns how many: fewer
  // than out.size() only where the file ends first, none from past its end.
  std::size_t Read(std::uint64_t offset, std::span<char> out) const;

  // The whole file; for tests and small callers.
  std::string Bytes() const;

 private:
  int id_;
  std::uint64_t seed_;
  std::string head_;  // ftyp, moov, free and mdat's own header
  std::uint64_t size_;
};

// Sizes lie in [kMinFilmFileSize, kMinFilmFileSize + kFilmFileSizeSpread).
inline constexpr std::uint64_t kMinFilmFileSize = 300 * 1024;
inline constexpr std::uint64_t kFilmFileSizeSpread = 1792 * 1024;

}  // namespace site
