// The download list driven by a scripted transfer, on a real folder: what
// the user sees of each download and what stays on disk after it
// completed, failed or was cancelled.
#include "forms/downloads.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using forms::Download;
using forms::DownloadFailure;
using forms::DownloadList;
using forms::DownloadState;

struct ScriptedTransfers : forms::DownloadTransfers {
  std::vector<int> cancelled;
  void CancelTransfer(int id) override { cancelled.push_back(id); }
};

class Downloads : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("kivo-downloads-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    list_.Changed = [this](int id) { changes_.push_back(id); };
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The engine writing what arrived into the file it was given.
  static void Arrive(const fs::path& partial, std::size_t bytes) {
    std::ofstream(partial, std::ios::binary | std::ios::app) << std::string(bytes, 'x');
  }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  int Start(const std::string& name, std::uint64_t total) {
    return list_.Begin("http://127.0.0.1:8080/download/1.mp4", name, total);
  }

  fs::path dir_;
  ScriptedTransfers transfers_;
  DownloadList list_{transfers_};
  std::vector<int> changes_;
};

TEST_F(Downloads, CompleteDownloadTakesTheChosenNameAndLeavesNothingElse) {
  // The site's name is shown made safe until the user chooses another.
  const int id = Start("片名?.mp4", 3000);
  EXPECT_EQ(list_.Find(id)->state, DownloadState::kAsking);
  EXPECT_EQ(list_.Find(id)->name, "片名_.mp4");
  EXPECT_EQ(list_.Running(), 1);
  const fs::path partial = list_.Chosen(id, dir_ / "测试影片.mp4");
  ASSERT_FALSE(partial.empty());
  EXPECT_EQ(list_.Find(id)->name, "测试影片.mp4");
  EXPECT_EQ(partial.parent_path(), dir_)
      << "beside the chosen file, so the rename stays on its disk";
  EXPECT_EQ(Files(), (std::vector<std::string>{"测试影片.mp4.part"}));
  list_.AddScratch(id, fs::path(partial) += ".wkdownload");
  Arrive(fs::path(partial) += ".wkdownload", 10);

  // What was held while the user chose comes in a burst: no speed from it.
  Arrive(partial, 1000);
  list_.Progress(id, 1000, 3000, 0);
  list_.Progress(id, 1000, 0, 1000);  // a report without the total keeps the known one
  EXPECT_EQ(list_.Find(id)->bytesPerSecond, 0);
  EXPECT_EQ(DownloadList::StatusText(*list_.Find(id)), "1000 B / 2.9 KB");
  Arrive(partial, 1000);
  list_.Progress(id, 2000, 3000, 2000);
  const Download& d = *list_.Find(id);
  EXPECT_EQ(d.state, DownloadState::kRunning);
  EXPECT_DOUBLE_EQ(d.bytesPerSecond, 1000.0);
  EXPECT_DOUBLE_EQ(DownloadList::Fraction(d), 2.0 / 3.0);
  EXPECT_EQ(DownloadList::StatusText(d), "2.0 KB / 2.9 KB，1000 B/秒，剩余 1 秒");

  Arrive(partial, 1000);
  list_.Progress(id, 3000, 3000, 3000);
  list_.Finished(id);
  EXPECT_EQ(list_.Find(id)->state, DownloadState::kDone);
  EXPECT_EQ(Files(), (std::vector<std::string>{"测试影片.mp4"}));
  EXPECT_EQ(Read(dir_ / "测试影片.mp4").size(), 3000u);
  EXPECT_EQ(DownloadList::StatusText(*list_.Find(id)), "已完成，2.9 KB");
  EXPECT_EQ(list_.Running(), 0);
  EXPECT_TRUE(transfers_.cancelled.empty());
  EXPECT_FALSE(changes_.empty());

  // A server that never said the size: whatever arrived is the file, even
  // nothing at all, and a finished download is whole.
  for (const std::size_t bytes : {std::size_t{1234}, std::size_t{0}}) {
    const int unknown = Start("u.mp4", 0);
    const fs::path part = list_.Chosen(unknown, dir_ / ("u" + std::to_string(bytes)));
    Arrive(part, bytes);
    list_.Finished(unknown);
    const Download& u = *list_.Find(unknown);
    EXPECT_EQ(u.state, DownloadState::kDone) << bytes;
    EXPECT_EQ(u.received, bytes);
    EXPECT_EQ(DownloadList::Fraction(u), 1.0) << bytes;
  }
}

TEST_F(Downloads, FailureAndCancelRemoveThePartialFileAndKeepWhatWasThere) {
  std::ofstream(dir_ / "影片.mp4") << "the film the user already had";
  const int failing = Start("影片.mp4", 5000);
  const fs::path partial = list_.Chosen(failing, dir_ / "影片.mp4");
  list_.AddScratch(failing, fs::path(partial) += ".wkdownload");
  Arrive(partial, 2000);
  Arrive(fs::path(partial) += ".wkdownload", 2000);
  list_.Progress(failing, 2000, 5000, 0);
  list_.Failed(failing, DownloadFailure::kNetwork, 0, "Connection terminated unexpectedly");
  EXPECT_EQ(Files(), (std::vector<std::string>{"影片.mp4"}));
  EXPECT_EQ(Read(dir_ / "影片.mp4"), "the film the user already had");
  EXPECT_EQ(DownloadList::StatusText(*list_.Find(failing)), "失败：连接中断，文件没有下载完整");
  EXPECT_EQ(list_.Find(failing)->detail, "Connection terminated unexpectedly");

  const int cancelled = Start("另一部.mp4", 0);
  const fs::path other = list_.Chosen(cancelled, dir_ / "另一部.mp4");
  Arrive(other, 100);
  list_.Cancel(cancelled);
  EXPECT_EQ(transfers_.cancelled, std::vector<int>{cancelled});
  EXPECT_EQ(list_.Find(cancelled)->state, DownloadState::kCancelled);
  EXPECT_EQ(Files(), (std::vector<std::string>{"影片.mp4"}));
  // What the transfer still reports afterwards changes nothing.
  list_.Progress(cancelled, 200, 0, 50);
  list_.Failed(cancelled, DownloadFailure::kOther, 0, "cancelled");
  list_.Finished(cancelled);
  EXPECT_EQ(list_.Find(cancelled)->state, DownloadState::kCancelled);
  EXPECT_EQ(DownloadList::StatusText(*list_.Find(cancelled)), "已取消");
  EXPECT_EQ(Files(), (std::vector<std::string>{"影片.mp4"}));

  // Ended while its chooser is still open (the server's error page): the
  // status is kept, and the user's late answer changes nothing.
  const int refused = Start("gone.mp4", 0);
  list_.Failed(refused, DownloadFailure::kHttpStatus, 410, "");
  list_.Declined(refused);
  ASSERT_NE(list_.Find(refused), nullptr);
  EXPECT_EQ(DownloadList::StatusText(*list_.Find(refused)), "失败：服务器返回了错误（410）");

  list_.ClearFinished();
  EXPECT_TRUE(list_.Items().empty());
  EXPECT_EQ(changes_.back(), 0);
  // One still waiting for its place is not finished.
  const int asking = Start("待选.mp4", 0);
  list_.ClearFinished();
  ASSERT_EQ(list_.Items().size(), 1u);
  EXPECT_EQ(list_.Items()[0].id, asking);
}

TEST_F(Downloads, ATransferThatEndsShortIsAFailureNotAFilm) {
  const int id = Start("short.mp4", 4096);
  const fs::path partial = list_.Chosen(id, dir_ / "short.mp4");
  Arrive(partial, 1000);
  list_.Finished(id);
  EXPECT_EQ(list_.Find(id)->state, DownloadState::kFailed);
  EXPECT_EQ(list_.Find(id)->failure, DownloadFailure::kNetwork);
  EXPECT_TRUE(Files().empty());
}

TEST_F(Downloads, PlacesThatCannotTakeTheFileFailBeforeAnyTransfer) {
  // A folder that is not there (or is a file) cannot be written.
  std::ofstream(dir_ / "plain-file") << "x";
  for (const fs::path& target : {dir_ / "missing" / "a.mp4", dir_ / "plain-file" / "a.mp4"}) {
    const int id = Start("a.mp4", 100);
    EXPECT_TRUE(list_.Chosen(id, target).empty()) << target;
    EXPECT_EQ(list_.Find(id)->failure, DownloadFailure::kNotWritable) << target;
    EXPECT_EQ(DownloadList::StatusText(*list_.Find(id)), "失败：无法写入所选的文件夹");
  }
  // More than the disk holds is refused before a byte is written.
  const int huge = Start("huge.mp4", std::uint64_t{1} << 62);
  EXPECT_TRUE(list_.Chosen(huge, dir_ / "huge.mp4").empty());
  EXPECT_EQ(list_.Find(huge)->failure, DownloadFailure::kDiskFull);
  // What counts is the room left, not the size of the disk.
  const fs::space_info space = fs::space(dir_);
  if (space.capacity - space.available > (std::uint64_t{1} << 30)) {
    const int big = Start("big.mp4", space.available + (space.capacity - space.available) / 2);
    EXPECT_TRUE(list_.Chosen(big, dir_ / "big.mp4").empty());
    EXPECT_EQ(list_.Find(big)->failure, DownloadFailure::kDiskFull);
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"plain-file"});
  EXPECT_EQ(list_.Running(), 0);
}

TEST_F(Downloads, TwoDownloadsOfOneNameWriteApartAndDecliningDropsIt) {
  const int a = Start("same.mp4", 0);
  const int b = Start("same.mp4", 0);
  const int declined = Start("no.mp4", 0);
  const fs::path pa = list_.Chosen(a, dir_ / "same.mp4");
  const fs::path pb = list_.Chosen(b, dir_ / "same.mp4");
  EXPECT_NE(pa, pb);
  EXPECT_EQ(pb.filename(), "same.mp4.1.part");
  list_.Declined(declined);
  EXPECT_EQ(list_.Find(declined), nullptr);
  EXPECT_EQ(list_.Running(), 2);
  // A second answer for one already chosen is no answer.
  EXPECT_TRUE(list_.Chosen(a, dir_ / "elsewhere.mp4").empty());
  // Ending the program also ends one whose chooser is still open.
  const int waiting = Start("wait.mp4", 0);
  list_.CancelAll();
  EXPECT_EQ(transfers_.cancelled, (std::vector<int>{a, b, waiting}));
  EXPECT_EQ(list_.Find(waiting)->state, DownloadState::kCancelled);
  EXPECT_EQ(list_.Running(), 0);
  EXPECT_TRUE(Files().empty());
}

TEST(DownloadFigures, SizesSpeedsAndTimeLeft) {
  EXPECT_EQ(DownloadList::SizeText(0), "0 B");
  EXPECT_EQ(DownloadList::SizeText(1023), "1023 B");
  EXPECT_EQ(DownloadList::SizeText(1024), "1.0 KB");
  EXPECT_EQ(DownloadList::SizeText(1536), "1.5 KB");
  EXPECT_EQ(DownloadList::SizeText(1048576), "1.0 MB");
  EXPECT_EQ(DownloadList::SizeText(1048576 * 3 + 1048576 / 2), "3.5 MB");
  EXPECT_EQ(DownloadList::SizeText(std::uint64_t{5} << 30), "5.0 GB");
  EXPECT_EQ(DownloadList::SpeedText(0), "");
  EXPECT_EQ(DownloadList::SpeedText(262144), "256.0 KB/秒");

  Download d;
  d.state = DownloadState::kRunning;
  d.received = 1000;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "") << "no total";
  EXPECT_EQ(DownloadList::Fraction(d), -1.0);
  EXPECT_EQ(DownloadList::StatusText(d), "1000 B");
  d.total = 1000 + 65 * 100;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "") << "no speed yet";
  d.bytesPerSecond = 100;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余 1 分 05 秒");
  d.total = 1000 + 60 * 100;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余 1 分 00 秒");
  d.total = 1000 + 59 * 100;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余 59 秒");
  d.total = 1000 + 3700 * 100;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余 1 小时 01 分");
  d.total = 1000 + 5 * 100 - 50;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余 5 秒") << "rounded up, never 0 while bytes remain";
  d.bytesPerSecond = 0.001;
  EXPECT_EQ(DownloadList::TimeLeftText(d), "剩余时间很长");

  d.state = DownloadState::kFailed;
  d.failure = DownloadFailure::kHttpStatus;
  d.httpStatus = 404;
  EXPECT_EQ(DownloadList::StatusText(d), "失败：服务器上没有这个文件（404）");
  d.httpStatus = 503;
  EXPECT_EQ(DownloadList::StatusText(d), "失败：服务器返回了错误（503）");
  d.failure = DownloadFailure::kDiskFull;
  EXPECT_EQ(DownloadList::StatusText(d), "失败：磁盘空间不足");
}

TEST_F(Downloads, SpeedFollowsTheLastFewSeconds) {
  const int id = Start("s.mp4", 0);
  list_.Chosen(id, dir_ / "s.mp4");
  list_.Progress(id, 0, 0, 0);
  list_.Progress(id, 900000, 0, 200);
  list_.Progress(id, 900000, 0, 1000);
  list_.Progress(id, 900100, 0, 1100);
  EXPECT_EQ(list_.Find(id)->bytesPerSecond, 0) << "too short a span to say";
  // Fast for a while, then slow: after a few seconds only the slow part counts.
  std::uint64_t bytes = 900100;
  for (int ms = 1500; ms <= 3500; ms += 500) list_.Progress(id, bytes += 50000, 0, ms);
  EXPECT_GT(list_.Find(id)->bytesPerSecond, 90000);
  EXPECT_LT(list_.Find(id)->bytesPerSecond, 110000) << "the first burst does not count";
  for (int ms = 4000; ms <= 9500; ms += 500) list_.Progress(id, bytes += 500, 0, ms);
  EXPECT_NEAR(list_.Find(id)->bytesPerSecond, 1000, 1);
}

TEST(DownloadNames, NothingButAPlainNameInTheChosenFolder) {
  EXPECT_EQ(forms::SafeFileName("测试影片.mp4"), "测试影片.mp4");
  EXPECT_EQ(forms::SafeFileName("../../etc/passwd"), "_.._etc_passwd");
  EXPECT_EQ(forms::SafeFileName("a\\b:c*d?e\"f<g>h|i"), "a_b_c_d_e_f_g_h_i");
  EXPECT_EQ(forms::SafeFileName(std::string("a\0b\n\x7f.mp4", 9)), "a_b__.mp4");
  EXPECT_EQ(forms::SafeFileName("bad\xff\xfe.mp4"), "bad__.mp4");
  EXPECT_EQ(forms::SafeFileName(".hidden"), "hidden");
  // Overlong forms (of U+0002 and of '/'), a surrogate and a value past
  // U+10FFFF are no characters: each of their bytes goes.
  EXPECT_EQ(forms::SafeFileName("\x82\xc0\x82"), "___");
  EXPECT_EQ(forms::SafeFileName("a\xc0\xaf" "b\xe0\x80\xaf"), "a__b___");
  EXPECT_EQ(forms::SafeFileName("\xed\xa0\x80\xf4\x90\x80\x80.mp4"), "_______.mp4");
  EXPECT_EQ(forms::SafeFileName("\xf0\x9f\x8e\xac\xe2\x82\xac"), "\xf0\x9f\x8e\xac\xe2\x82\xac");
  for (const char* nothing : {"", ".", "..", " . ", "..."}) {
    EXPECT_EQ(forms::SafeFileName(nothing), "download") << nothing;
  }
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += "影";
  const std::string cut = forms::SafeFileName(longName + ".mp4");
  EXPECT_LE(cut.size(), 200u);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".mp4");
  EXPECT_EQ((cut.size() - 4) % 3, 0u) << "no character cut in half";
  // Cut where a space or a dot ends the kept part, with no extension to
  // follow: nothing trailing that the file system would drop.
  for (const char* tail : {" ", ". .", "."}) {
    const std::string name = std::string(198, 'a') + "b" + tail + std::string(30, 'c');
    EXPECT_EQ(forms::SafeFileName(name), std::string(198, 'a') + "b") << tail;
  }
}

}  // namespace
