// The generated film files: a box tree that walks cleanly, sample tables that
// point at the frames, and sizes and bytes that differ from film to film.
#include "site/film_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "site/catalog.h"

namespace site {
namespace {

std::uint32_t U32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

struct BoxInfo {
  std::size_t offset;  // of the box header
  std::size_t size;
};

// Every box by its path ("moov/trak/tkhd"), walking containers. Fails the
// test when a size is impossible or children don't exactly fill a parent.
class BoxWalker {
 public:
  explicit BoxWalker(std::string_view file) : file_(file) {}

  std::map<std::string, BoxInfo> Walk() {
    WalkRange(0, file_.size(), "");
    return boxes_;
  }
  std::vector<std::string> TopLevelOrder() const { return topLevel_; }

 private:
  void WalkRange(std::size_t begin, std::size_t end, const std::string& parent) {
    std::size_t at = begin;
    while (at < end) {
      ASSERT_LE(at + 8, end) << "truncated header in " << parent;
      std::size_t size = U32(file_, at);
      std::string type(file_.substr(at + 4, 4));
      ASSERT_GE(size, 8u) << type;
      ASSERT_LE(at + size, end) << type << " overruns " << parent;
      std::string path = parent.empty() ? type : parent + "/" + type;
      ASSERT_FALSE(boxes_.contains(path)) << "two " << path;
      boxes_[path] = {at, size};
      if (parent.empty()) topLevel_.push_back(type);
      static const std::set<std::string> kContainers = {"moov", "trak", "mdia",
                                                        "minf", "dinf", "stbl"};
      // stsd and dref: version, flags and an entry count before the entries.
      if (kContainers.contains(type)) WalkRange(at + 8, at + size, path);
      if (type == "stsd" || type == "dref") WalkRange(at + 16, at + size, path);
      at += size;
    }
    EXPECT_EQ(at, end) << "children of " << parent << " don't add up";
  }

  std::string_view file_;
  std::map<std::string, BoxInfo> boxes_;
  std::vector<std::string> topLevel_;
};

TEST(FilmFileTest, BoxTreeWalksCleanlyWithConsistentSampleTables) {
  for (int id : {1001, 1403, 1804, 7}) {
    SCOPED_TRACE(id);
    std::string file = FilmFile(id).Bytes();
    BoxWalker walker(file);
    std::map<std::string, BoxInfo> boxes = walker.Walk();
    ASSERT_FALSE(testing::Test::HasFailure());
    EXPECT_EQ(walker.TopLevelOrder(), (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));

    EXPECT_EQ(file.substr(8, 4), "isom");
    EXPECT_NE(file.substr(16, boxes["ftyp"].size - 16).find("mp42"), std::string::npos);
    for (const char* path :
         {"moov/mvhd", "moov/trak/tkhd", "moov/trak/mdia/mdhd", "moov/trak/mdia/hdlr",
          "moov/trak/mdia/minf/vmhd", "moov/trak/mdia/minf/dinf/dref/url ",
          "moov/trak/mdia/minf/stbl/stsd/raw ", "moov/trak/mdia/minf/stbl/stts",
          "moov/trak/mdia/minf/stbl/stsc", "moov/trak/mdia/minf/stbl/stsz",
          "moov/trak/mdia/minf/stbl/stco"}) {
      EXPECT_TRUE(boxes.contains(path)) << path;
    }
    EXPECT_EQ(file.substr(boxes["moov/trak/mdia/hdlr"].offset + 16, 4), "vide");

    auto field = [&](const char* path, std::size_t at) {
      return U32(file, boxes[path].offset + at);
    };
    const char* kStbl = "moov/trak/mdia/minf/stbl/";
    std::uint32_t frameSize = field((std::string(kStbl) + "stsz").c_str(), 12);
    std::uint32_t frames = field((std::string(kStbl) + "stsz").c_str(), 16);
    std::uint32_t firstFrame = field((std::string(kStbl) + "stco").c_str(), 16);
    const BoxInfo& mdat = boxes["mdat"];
    // The frames fill mdat exactly, from the offset the chunk table gives.
    EXPECT_EQ(firstFrame, mdat.offset + 8);
    EXPECT_EQ(std::uint64_t{frameSize} * frames, mdat.size - 8);
    EXPECT_EQ(frameSize, 64u * 48u * 3u);
    EXPECT_EQ(field((std::string(kStbl) + "stts").c_str(), 16), frames);
    EXPECT_EQ(field((std::string(kStbl) + "stsc").c_str(), 20), frames);
    // Track, media and movie agree on the length: frames x 100 ms.
    std::uint32_t duration = frames * 100;
    EXPECT_EQ(field("moov/mvhd", 24), duration);
    EXPECT_EQ(field("moov/trak/tkhd", 28), duration);
    EXPECT_EQ(field("moov/trak/mdia/mdhd", 24), duration);
  }
}

TEST(FilmFileTest, EveryFilmHasItsOwnSizeAndBytes) {
  std::set<std::uint64_t> sizes;
  std::set<std::string> openings;
  for (const Film& film : Films()) {
    FilmFile file(film.id);
    EXPECT_GE(file.Size(), kMinFilmFileSize) << film.id;
    EXPECT_LT(file.Size(), kMinFilmFileSize + kFilmFileSizeSpread) << film.id;
    EXPECT_TRUE(sizes.insert(file.Size()).second) << "size shared by " << film.id;
    std::string bytes = file.Bytes();
    ASSERT_EQ(bytes.size(), file.Size());
    // Frame bytes only: the boxes of two films differ in little but counts.
    std::string lastFrameBytes = bytes.substr(bytes.size() - 4096);
    EXPECT_TRUE(openings.insert(lastFrameBytes).second) << "frames shared by " << film.id;
  }
  EXPECT_EQ(FilmFile(1701).Bytes(), FilmFile(1701).Bytes());  // same id, same file
}

TEST(FilmFileTest, AnySliceMatchesTheWholeFile) {
  FilmFile file(1502);
  std::string whole = file.Bytes();
  std::size_t size = whole.size();
  struct Slice {
    std::uint64_t offset;
    std::size_t length;
  };
  std::size_t mdat = whole.rfind("mdat") + 4;  // first frame byte
  const Slice kSlices[] = {
      {0, 1},         {3, 17},        {mdat - 5, 40},  // across boxes into the frames
      {mdat + 3, 13}, {mdat + 8, 8},  {size - 1, 1},  {size - 9, 100},  // past the end
      {size, 10},     {size + 5, 10},
  };
  for (const Slice& s : kSlices) {
    std::string piece(s.length, '\x55');
    std::size_t got = file.Read(s.offset, piece);
    std::size_t expected = s.offset >= size ? 0 : std::min<std::size_t>(s.length, size - s.offset);
    ASSERT_EQ(got, expected) << s.offset;
    EXPECT_EQ(piece.substr(0, got), whole.substr(std::min<std::size_t>(s.offset, size), got))
        << s.offset;
  }
}

TEST(FilmFileTest, LargestFileIsCheapToMake) {
  int largest = Films().front().id;
  for (const Film& film : Films()) {
    if (FilmFile(film.id).Size() > FilmFile(largest).Size()) largest = film.id;
  }
  auto start = std::chrono::steady_clock::now();
  std::string bytes = FilmFile(largest).Bytes();
  auto took = std::chrono::steady_clock::now() - start;
  double ms = std::chrono::duration<double, std::milli>(took).count();
  RecordProperty("largest_film", largest);
  RecordProperty("largest_bytes", static_cast<int>(bytes.size()));
  std::printf("largest film file: id %d, %zu bytes, made in %.1f ms\n", largest, bytes.size(), ms);
  // Generous: a loaded machine is many times slower than the ~10 ms this takes.
  EXPECT_LT(ms, 2000.0);
}

}  // namespace
}  // namespace site
