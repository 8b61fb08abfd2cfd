// File calls through the wire: path and case semantics, handles, sharing, read-only files,
// times, disk space per store and the error numbers of each failure.
#include <atomic>
#include <thread>

#include "EmuTestUtil.h"
#include "wincompat/rapi.h"

namespace wmemu::test {
namespace {

class FileCalls : public EmuFixture {};

constexpr uint32_t kBad = 0xFFFFFFFFu;
constexpr uint64_t kTime = 116444736000000000ull + 10000000ull;

uint32_t OpenOk(Client& c, std::u16string_view path, uint32_t access, uint32_t share,
                uint32_t disp) {
  auto r = c.CreateFile(path, access, share, disp);
  EXPECT_EQ(r.size(), 8u);
  EXPECT_EQ(Word(r, 0), 0u) << "opening " << std::string(path.begin(), path.end());
  return Word(r, 1);
}

TEST_F(FileCalls, NamesMatchWithoutCaseAndKeepTheirCase) {
  auto c = Connect();
  uint32_t h = OpenOk(*c, u"\\My Documents\\Report.TXT", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_NE(h, 0u);
  EXPECT_NE(h, kBad);
  EXPECT_EQ(Words(c->Write(h, "hello device")), (W{0, 1, 12}));
  EXPECT_EQ(Word(c->Simple(rapi2::kCloseHandle, h), 1), 1u);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fs/My Documents/Report.TXT"));

  // Any spelling opens it; reading returns the bytes, then 0 bytes at the end.
  h = OpenOk(*c, u"\\MY DOCUMENTS\\report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  auto r = c->Read(h, 5);
  ASSERT_EQ(r.size(), 12u + 5u);
  EXPECT_EQ(Word(r, 1), 1u);
  EXPECT_EQ(Word(r, 2), 5u);
  EXPECT_EQ(std::string(r.begin() + 12, r.end()), "hello");
  EXPECT_EQ(Word(c->Read(h, 100), 2), 7u);
  EXPECT_EQ(Words(c->Read(h, 100)), (W{0, 1, 0}));
  c->Simple(rapi2::kCloseHandle, h);

  // Another case names the same file and folder; forward slashes and relative paths too.
  EXPECT_EQ(Words(c->CreateFile(u"\\my documents\\REPORT.txt", GENERIC_WRITE, 0, CREATE_NEW)),
            (W{80, kBad}));
  EXPECT_EQ(Word(c->PathCall(rapi2::kCreateDirectory, u"\\my documents"), 0), 183u);
  r = c->CreateFile(u"My Documents/report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(Word(r, 0), 0u);
}

TEST_F(FileCalls, FailuresAnswerTheirErrorNumbersWithEveryField) {
  auto c = Connect();
  EXPECT_EQ(Words(c->CreateFile(u"\\My Documents\\missing.txt", GENERIC_READ, 0, OPEN_EXISTING)),
            (W{2, kBad}));
  EXPECT_EQ(Word(c->CreateFile(u"\\Nowhere\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 0), 3u);
  EXPECT_EQ(Word(c->CreateFile(u"\\a.txt", GENERIC_WRITE, 0, 9), 0), 87u);
  EXPECT_EQ(Word(c->CreateFile(u"\\My Documents", GENERIC_READ, 0, OPEN_EXISTING), 0), 5u);
  EXPECT_EQ(Word(c->CreateFile(u"\\a*.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 0), 123u);
  EXPECT_EQ(Word(c->CreateFile(u"\\..\\escape.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 0), 123u);

  EXPECT_EQ(Words(c->Read(0x7777, 10)), (W{6, 0, 0}));
  auto r = c->Simple(rapi2::kGetFileTime, 0x7777);
  EXPECT_EQ(r.size(), 32u);
  EXPECT_EQ(Word(r, 0), 6u);
  EXPECT_EQ(Word(c->Simple(rapi2::kCloseHandle, 0x7777), 0), 6u);

  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\nope.txt"), 0), 2u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\nodir\\nope.txt"), 0), 3u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\nodir"), 0), 2u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\My Documents"), 0), 145u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kCreateDirectory, u"\\a\\b"), 0), 3u);

  // A handle opened for reading cannot write.
  emu_->files().PutFile(u"\\f.txt", {'x'});
  uint32_t h = OpenOk(*c, u"\\f.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(Words(c->Write(h, "abc")), (W{5, 0, 0}));
  // A write whose byte count runs past the frame is refused, not read beyond.
  rapi2::Writer w;
  w.u32(rapi2::kWriteFile).u32(h).u32(1000).bytes("ab", 2);
  EXPECT_EQ(Word(c->Call(w), 0), 87u);
}

TEST_F(FileCalls, SharingReadOnlyAndBusyFiles) {
  auto c = Connect();
  emu_->files().PutFile(u"\\shared.txt", {'1', '2'});
  uint32_t h = OpenOk(*c, u"\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  // Another sharing reader is fine; a writer, or a reader refusing to share, is refused.
  uint32_t h2 = OpenOk(*c, u"\\SHARED.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(Word(c->CreateFile(u"\\shared.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), 0),
            32u);
  EXPECT_EQ(Word(c->CreateFile(u"\\shared.txt", GENERIC_READ, 0, OPEN_EXISTING), 0), 32u);
  // An open file cannot be deleted or moved.
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\shared.txt"), 0), 32u);
  EXPECT_EQ(Word(c->TwoPaths(rapi2::kMoveFile, u"\\shared.txt", u"\\moved.txt"), 0), 32u);
  c->Simple(rapi2::kCloseHandle, h);
  c->Simple(rapi2::kCloseHandle, h2);
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\shared.txt"), 1), 1u);

  // Handles closed by a vanishing connection release their files.
  {
    auto other = Connect();
    OpenOk(*other, u"\\My Documents\\lock.txt", GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_EQ(Word(c->CreateFile(u"\\My Documents\\lock.txt", GENERIC_READ, 7, OPEN_EXISTING), 0),
              32u);
  }
  bool released = false;
  for (int i = 0; i < 200 && !released; ++i) {
    released = Word(c->PathCall(rapi2::kDeleteFile, u"\\My Documents\\lock.txt"), 0) == 0;
    if (!released) usleep(10000);
  }
  EXPECT_TRUE(released);

  // Read-only files open for reading only and cannot be deleted; copying over one fails.
  emu_->files().PutFile(u"\\ro.txt", {'r'}, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(Word(c->CreateFile(u"\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING), 0), 5u);
  EXPECT_EQ(Word(c->CreateFile(u"\\ro.txt", GENERIC_READ, 0, CREATE_ALWAYS), 0), 5u);
  EXPECT_EQ(Word(c->CreateFile(u"\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0), 0u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\ro.txt"), 0), 5u);
  emu_->files().PutFile(u"\\src.txt", {'s'});
  EXPECT_EQ(Word(c->TwoPaths(rapi2::kCopyFile, u"\\src.txt", u"\\RO.TXT", 0), 0), 5u);
}

TEST_F(FileCalls, CopyMoveAndFolders) {
  auto c = Connect();
  emu_->files().PutFile(u"\\My Documents\\a.txt", {'a', 'b', 'c'}, FILE_ATTRIBUTE_ARCHIVE, kTime);
  auto copy = [&](std::u16string_view from, std::u16string_view to, int failIfExists) {
    return Word(c->TwoPaths(rapi2::kCopyFile, from, to, failIfExists), 0);
  };
  auto move = [&](std::u16string_view from, std::u16string_view to) {
    return Word(c->TwoPaths(rapi2::kMoveFile, from, to), 0);
  };
  // The item's last write time (and size) as the store keeps it.
  auto stored = [&](std::u16string_view path) {
    std::vector<FileEntry> found;
    EXPECT_EQ(emu_->files().Find(path, &found), 0u);
    return found.empty() ? FileEntry{} : found[0];
  };
  EXPECT_EQ(
      Words(c->TwoPaths(rapi2::kCopyFile, u"\\My Documents\\A.txt", u"\\My Documents\\b.txt", 1)),
      (W{0, 1}));
  EXPECT_EQ(copy(u"\\My Documents\\a.txt", u"\\My Documents\\B.TXT", 1), 80u);
  EXPECT_EQ(copy(u"\\My Documents\\a.txt", u"\\My Documents\\b.txt", 0), 0u);
  EXPECT_EQ(copy(u"\\My Documents\\zz.txt", u"\\My Documents\\c.txt", 0), 2u);
  EXPECT_EQ(copy(u"\\My Documents", u"\\c", 0), 5u);
  // A copy keeps the last write time.
  EXPECT_EQ(stored(u"\\My Documents\\b.txt").mtime, kTime);
  EXPECT_EQ(stored(u"\\My Documents\\b.txt").size, 3u);

  EXPECT_EQ(move(u"\\My Documents\\b.txt", u"\\My Documents\\a.txt"), 183u);
  EXPECT_EQ(move(u"\\My Documents\\nope", u"\\x"), 2u);
  EXPECT_EQ(move(u"\\My Documents\\b.txt", u"\\No\\b.txt"), 3u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kCreateDirectory, u"\\Docs"), 1), 1u);
  EXPECT_EQ(Words(c->TwoPaths(rapi2::kMoveFile, u"\\My Documents\\b.txt", u"\\Docs\\Moved.txt")),
            (W{0, 1}));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fs/Docs/Moved.txt"));
  // Moving keeps the object id and times: the database row travels with the file.
  EXPECT_EQ(stored(u"\\Docs\\moved.txt").mtime, kTime);
  // A folder moves with its content; a rename that only changes case is allowed.
  EXPECT_EQ(move(u"\\Docs", u"\\docs"), 0u);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fs/docs/Moved.txt"));
  EXPECT_EQ(move(u"\\docs", u"\\docs\\inner"), 87u);
  EXPECT_EQ(move(u"\\docs", u"\\Archive"), 0u);
  EXPECT_EQ(stored(u"\\Archive\\MOVED.TXT").mtime, kTime);
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\Archive"), 0), 145u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\Archive\\moved.txt"), 1), 1u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\archive"), 1), 1u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kDeleteFile, u"\\My Documents"), 0), 5u);
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\My Documents\\a.txt"), 0), 267u);
}

TEST_F(FileCalls, TimesAreKeptAndUpdatedOnWrite) {
  auto c = Connect();
  uint64_t before = DeviceFs::Now();
  uint32_t h = OpenOk(*c, u"\\t.bin", GENERIC_WRITE | GENERIC_READ, 0, CREATE_ALWAYS);
  auto time = [](const std::vector<uint8_t>& r, size_t i) {
    return uint64_t(Word(r, i + 1)) << 32 | Word(r, i);
  };
  auto r = c->Simple(rapi2::kGetFileTime, h);
  ASSERT_EQ(r.size(), 32u);
  EXPECT_EQ(Word(r, 1), 1u);
  uint64_t created = time(r, 2);
  EXPECT_GE(created, before);
  EXPECT_LE(created, DeviceFs::Now());

  // Times set explicitly; a NULL time (length 0) leaves that one alone.
  rapi2::Writer st;
  st.u32(rapi2::kSetFileTime).u32(h).u32(8).u64(1000).u32(0).u32(8).u64(3000);
  EXPECT_EQ(Words(c->Call(st)), (W{0, 1}));
  r = c->Simple(rapi2::kGetFileTime, h);
  EXPECT_EQ(time(r, 2), 1000u);
  EXPECT_EQ(time(r, 4), created);
  EXPECT_EQ(time(r, 6), 3000u);
  // A write moves the last write time to now.
  c->Write(h, "data");
  EXPECT_GE(time(c->Simple(rapi2::kGetFileTime, h), 6), before);
  rapi2::Writer bad;
  bad.u32(rapi2::kSetFileTime).u32(h).u32(4).u32(1).u32(0).u32(0);
  EXPECT_EQ(Word(c->Call(bad), 0), 87u);
  c->Simple(rapi2::kCloseHandle, h);

  // The times survive the emulator: they live in image.sqlite.
  emu_->Stop();
  emu_ = Emulator::Open(dir_);
  std::vector<FileEntry> found;
  ASSERT_EQ(emu_->files().Find(u"\\T.BIN", &found), 0u);
  EXPECT_EQ(found[0].ctime, 1000u);
  EXPECT_EQ(found[0].size, 4u);
  EXPECT_EQ(found[0].attrs, uint32_t(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(FileCalls, DiskSpaceIsPerStoreAndWritesStopWhenFull) {
  emu_->files().PutFolder(u"\\Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
  emu_->files().SetCapacity(u"", 100000);
  emu_->files().SetCapacity(u"storage card", 64);
  emu_->files().PutFile(u"\\My Documents\\x.bin", std::vector<uint8_t>(100, 1));
  auto c = Connect();
  auto space = [&](std::u16string_view dir) {
    auto r = c->PathCall(rapi2::kGetDiskFreeSpaceEx, dir);
    EXPECT_EQ(r.size(), 32u);
    return r;
  };
  // Main memory counts every file outside the card (the base folders hold Memo.txt).
  auto r = space(u"\\My Documents");
  EXPECT_EQ(Word(r, 1), 1u);
  EXPECT_EQ(Word(r, 4), 100000u);
  uint32_t mainFree = Word(r, 2);
  EXPECT_LT(mainFree, 100000u - 100u);
  EXPECT_EQ(Word(r, 6), mainFree);
  r = space(u"\\storage card");
  EXPECT_EQ(Word(r, 4), 64u);
  EXPECT_EQ(Word(r, 2), 64u);
  EXPECT_EQ(Words(space(u"\\no such")), (W{3, 0, 0, 0, 0, 0, 0, 0}));

  // The card fills up: the write that does not fit fails with 112 and writes nothing.
  uint32_t h = OpenOk(*c, u"\\Storage Card\\big.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(Word(c->Write(h, std::string(60, 'x')), 0), 0u);
  r = c->Write(h, std::string(10, 'y'));
  EXPECT_EQ(Word(r, 0), 112u);
  EXPECT_EQ(Word(r, 2), 0u);
  EXPECT_EQ(Word(space(u"\\Storage Card"), 2), 4u);
  c->Simple(rapi2::kCloseHandle, h);
  // Copying into main memory still works; into the card it does not.
  EXPECT_EQ(Word(c->TwoPaths(rapi2::kCopyFile, u"\\Storage Card\\big.bin", u"\\big.bin", 1), 0),
            0u);
  EXPECT_EQ(
      Word(c->TwoPaths(rapi2::kCopyFile, u"\\My Documents\\x.bin", u"\\Storage Card\\x.bin", 1), 0),
      112u);
  // The card root cannot be removed.
  EXPECT_EQ(Word(c->PathCall(rapi2::kRemoveDirectory, u"\\Storage Card"), 0), 5u);
}

TEST_F(FileCalls, ParallelConnectionsKeepTheirOwnFiles) {
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      Client c(address_);
      std::u16string path = u"\\My Documents\\p" + std::u16string(1, char16_t(u'0' + t)) + u".bin";
      std::string data(3000 + t, char('a' + t));
      auto r = c.CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
      uint32_t h = Word(r, 1);
      bool ok = Word(r, 0) == 0;
      for (int i = 0; i < 20 && ok; ++i) ok = Word(c.Write(h, data), 2) == data.size();
      c.Simple(rapi2::kCloseHandle, h);
      h = Word(c.CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 1);
      size_t total = 0;
      for (;;) {
        auto rd = c.Read(h, 4096);
        uint32_t n = Word(rd, 2);
        if (n == 0 || n == 0xDEADBEEF) break;
        for (size_t k = 12; k < rd.size(); ++k) ok = ok && rd[k] == uint8_t('a' + t);
        total += n;
      }
      if (ok && total == 20 * data.size()) ++good;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(good, 6);
  std::vector<FileEntry> found;
  EXPECT_EQ(emu_->files().Find(u"\\My Documents\\p*.bin", &found), 0u);
  EXPECT_EQ(found.size(), 6u);
}

}  // namespace
}  // namespace wmemu::test
