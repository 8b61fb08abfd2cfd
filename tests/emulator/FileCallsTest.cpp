// File calls through the wire: path and case semantics, sharing, read-only files, disk space
// per store and the error numbers of each failure. (Chunked reads and writes, file times and
// the plain success paths are driven through the client's own tests.)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <thread>

#include "EmuTestUtil.h"
#include "platform/rapi/Rapi2Calls.h"
#include "wincompat/rapi.h"

extern char** environ;

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
  EXPECT_EQ(Words(c->Write(h, "hello device")), (W{0, 1, 12}));
  c->Cmd(rapi2::kCloseHandle, h);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fs/My Documents/Report.TXT"));
  h = OpenOk(*c, u"\\MY DOCUMENTS\\report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  auto r = c->Cmd(rapi2::kReadFile, h, 5);
  EXPECT_EQ(std::string(r.begin() + 12, r.end()), "hello");
  c->Cmd(rapi2::kCloseHandle, h);
  EXPECT_EQ(Words(c->CreateFile(u"\\my documents\\REPORT.txt", GENERIC_WRITE, 0, CREATE_NEW)),
            (W{80, kBad}));
  EXPECT_EQ(Word(c->Cmd(rapi2::kCreateDirectory, u"\\my documents"), 0), 183u);
  // Forward slashes and relative paths name the same file.
  OpenOk(*c, u"My Documents/report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
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
  EXPECT_EQ(Words(c->Cmd(rapi2::kReadFile, 0x7777, 10)), (W{6, 0, 0}));
  EXPECT_EQ(Word(c->Cmd(rapi2::kDeleteFile, u"\\nodir\\nope.txt"), 0), 3u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kRemoveDirectory, u"\\My Documents"), 0), 145u);

  // A handle opened for reading cannot write.
  emu_->files().PutFile(u"\\f.txt", {'x'});
  uint32_t h = OpenOk(*c, u"\\f.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(Words(c->Write(h, "abc")), (W{5, 0, 0}));
  // A write whose byte count runs past the frame, or a time of 4 bytes, is refused.
  rapi2::Writer w, st;
  w.u32(rapi2::kWriteFile).u32(h).u32(1000).bytes("ab", 2);
  EXPECT_EQ(Word(c->Call(w), 0), 87u);
  st.u32(rapi2::kSetFileTime).u32(h).u32(4).u32(1).u32(0).u32(0);
  EXPECT_EQ(Word(c->Call(st), 0), 87u);
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
  EXPECT_EQ(Word(c->Cmd(rapi2::kDeleteFile, u"\\shared.txt"), 0), 32u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kMoveFile, u"\\shared.txt", u"\\moved.txt"), 0), 32u);
  c->Cmd(rapi2::kCloseHandle, h);
  c->Cmd(rapi2::kCloseHandle, h2);
  EXPECT_EQ(Word(c->Cmd(rapi2::kDeleteFile, u"\\shared.txt"), 1), 1u);

  // Handles closed by a vanishing connection release their files.
  {
    auto other = Connect();
    OpenOk(*other, u"\\My Documents\\lock.txt", GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_EQ(Word(c->CreateFile(u"\\My Documents\\lock.txt", GENERIC_READ, 7, OPEN_EXISTING), 0),
              32u);
  }
  // The server notices the close in its own time: wait for it without a tight bound.
  bool released = false;
  for (int i = 0; i < 3000 && !released; ++i) {
    released = Word(c->Cmd(rapi2::kDeleteFile, u"\\My Documents\\lock.txt"), 0) == 0;
    if (!released) usleep(10000);
  }
  EXPECT_TRUE(released);

  // Read-only files open for reading only and cannot be deleted; copying over one fails.
  emu_->files().PutFile(u"\\ro.txt", {'r'}, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(Word(c->CreateFile(u"\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING), 0), 5u);
  EXPECT_EQ(Word(c->CreateFile(u"\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0), 0u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kDeleteFile, u"\\ro.txt"), 0), 5u);
  emu_->files().PutFile(u"\\src.txt", {'s'});
  EXPECT_EQ(Word(c->Cmd(rapi2::kCopyFile, u"\\src.txt", u"\\RO.TXT", 0), 0), 5u);
}

TEST_F(FileCalls, CopyMoveAndFolders) {
  auto c = Connect();
  emu_->files().PutFile(u"\\My Documents\\a.txt", {'a', 'b', 'c'}, FILE_ATTRIBUTE_ARCHIVE, kTime);
  auto copy = [&](std::u16string_view from, std::u16string_view to, int failIfExists) {
    return Words(c->Cmd(rapi2::kCopyFile, from, to, failIfExists));
  };
  auto move = [&](std::u16string_view from, std::u16string_view to) {
    return Words(c->Cmd(rapi2::kMoveFile, from, to));
  };
  // The item's last write time as the store keeps it (0 when missing).
  auto mtime = [&](std::u16string_view p) {
    std::vector<FileEntry> found;
    return emu_->files().Find(p, &found) == 0 && found.size() == 1 ? found[0].mtime : 0;
  };
  const std::u16string a = u"\\My Documents\\a.txt", b = u"\\My Documents\\b.txt";
  EXPECT_EQ(copy(u"\\My Documents\\A.txt", b, 1), (W{0, 1}));
  EXPECT_EQ(copy(a, u"\\My Documents\\B.TXT", 1), (W{80, 0}));
  EXPECT_EQ(mtime(b), kTime);  // a copy keeps the last write time
  EXPECT_EQ(move(b, a), (W{183, 0}));
  EXPECT_EQ(Word(c->Cmd(rapi2::kCreateDirectory, u"\\Docs"), 0), 0u);
  EXPECT_EQ(move(b, u"\\Docs\\Moved.txt"), (W{0, 1}));
  // A folder moves with its content and its times, not into itself; a rename that only
  // changes case is allowed.
  EXPECT_EQ(move(u"\\Docs", u"\\docs"), (W{0, 1}));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fs/docs/Moved.txt"));
  EXPECT_EQ(move(u"\\docs", u"\\docs\\inner"), (W{87, 0}));
  EXPECT_EQ(move(u"\\docs", u"\\Archive"), (W{0, 1}));
  EXPECT_EQ(mtime(u"\\Archive\\MOVED.TXT"), kTime);
  EXPECT_EQ(Words(c->Cmd(rapi2::kRemoveDirectory, a)), (W{267, 0}));
}

TEST_F(FileCalls, DiskSpaceIsPerStoreAndWritesStopWhenFull) {
  emu_->files().PutFolder(u"\\Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
  emu_->files().SetCapacity(u"", 100000);
  emu_->files().SetCapacity(u"storage card", 64);
  emu_->files().PutFile(u"\\My Documents\\x.bin", std::vector<uint8_t>(100, 1));
  auto c = Connect();
  auto space = [&](std::u16string_view dir) {
    auto r = c->Cmd(rapi2::kGetDiskFreeSpaceEx, dir);
    EXPECT_EQ(r.size(), 32u);
    return r;
  };
  // Main memory counts every file outside the card.
  auto r = space(u"\\My Documents");
  EXPECT_EQ(Word(r, 4), 100000u);
  EXPECT_LT(Word(r, 2), 100000u - 100u);
  EXPECT_EQ(Word(space(u"\\storage card"), 2), 64u);
  EXPECT_EQ(Words(space(u"\\no such")), (W{3, 0, 0, 0, 0, 0, 0, 0}));

  // The card fills up: the write that does not fit fails with 112 and writes nothing.
  uint32_t h = OpenOk(*c, u"\\Storage Card\\big.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(Word(c->Write(h, std::string(60, 'x')), 0), 0u);
  EXPECT_EQ(Words(c->Write(h, std::string(10, 'y'))), (W{112, 0, 0}));
  EXPECT_EQ(Word(space(u"\\Storage Card"), 2), 4u);
  c->Cmd(rapi2::kCloseHandle, h);
  // Copying into the full card fails the same way.
  EXPECT_EQ(
      Word(c->Cmd(rapi2::kCopyFile, u"\\My Documents\\x.bin", u"\\Storage Card\\x.bin", 1), 0),
      112u);
  EXPECT_EQ(Word(c->Cmd(rapi2::kRemoveDirectory, u"\\Storage Card"), 0), 5u);
}

// The free space a store reports follows every change made through the calls, step by step:
// writes that grow a file (also past its end), an overwrite that empties it, a shortened
// file, a delete, a second file; a write or copy that would not fit fails with 112.
TEST_F(FileCalls, FreeSpaceFollowsEveryChange) {
  emu_->files().PutFolder(u"\\Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
  emu_->files().SetCapacity(u"card", 1000);
  emu_->files().PutFile(u"\\seed.bin", std::vector<uint8_t>(5, 1));  // main memory, not the card
  auto c = Connect();
  auto free = [&] { return Word(c->Cmd(rapi2::kGetDiskFreeSpaceEx, u"\\Card"), 2); };
  const uint32_t rw = FILE_SHARE_READ | FILE_SHARE_WRITE;
  uint32_t a = 0, b = 0;
  struct Step {
    const char* name;
    std::function<uint32_t()> act;  // the call's error word
    uint32_t error, free;
  };
  const std::vector<Step> steps = {
      {"nothing written yet", [] { return 0u; }, 0, 1000},
      {"a new file, 300 bytes",
       [&] {
         a = OpenOk(*c, u"\\Card\\a.bin", GENERIC_WRITE, rw, CREATE_ALWAYS);
         return Word(c->Write(a, std::string(300, 'a')), 0);
       },
       0, 700},
      {"overwriting its start does not grow it",
       [&] {
         EXPECT_EQ(Word(c->Cmd(rapi2::SetFilePointer::kCommand, a, 0u, 0u, 0u), 1), 0u);
         return Word(c->Write(a, std::string(100, 'b')), 0);
       },
       0, 700},
      {"a write past the end counts the gap",
       [&] {
         EXPECT_EQ(Word(c->Cmd(rapi2::SetFilePointer::kCommand, a, 400u, 0u, 0u), 1), 400u);
         return Word(c->Write(a, std::string(50, 'c')), 0);
       },
       0, 550},
      {"a second handle's file, 200 bytes",
       [&] {
         b = OpenOk(*c, u"\\Card\\b.bin", GENERIC_WRITE, rw, CREATE_ALWAYS);
         return Word(c->Write(b, std::string(200, 'd')), 0);
       },
       0, 350},
      {"the first file ended at 100",
       [&] {
         EXPECT_EQ(Word(c->Cmd(rapi2::SetFilePointer::kCommand, a, 100u, 0u, 0u), 1), 100u);
         return Word(c->Cmd(0x27u, a), 0);  // SetEndOfFile
       },
       0, 700},
      {"a write that does not fit", [&] { return Word(c->Write(b, std::string(701, 'e')), 0); },
       112, 700},
      {"both closed, the second overwritten empty",
       [&] {
         c->Cmd(rapi2::kCloseHandle, a);
         c->Cmd(rapi2::kCloseHandle, b);
         b = OpenOk(*c, u"\\Card\\b.bin", GENERIC_WRITE, rw, CREATE_ALWAYS);
         c->Cmd(rapi2::kCloseHandle, b);
         return 0u;
       },
       0, 900},
      {"the first deleted", [&] { return Word(c->Cmd(rapi2::kDeleteFile, u"\\Card\\a.bin"), 0); },
       0, 1000},
      {"a copy onto the card",
       [&] { return Word(c->Cmd(rapi2::kCopyFile, u"\\seed.bin", u"\\Card\\s.bin", 1), 0); }, 0,
       995},
      {"a write that fills the card exactly",
       [&] {
         a = OpenOk(*c, u"\\Card\\a.bin", GENERIC_WRITE, rw, CREATE_ALWAYS);
         const uint32_t error = Word(c->Write(a, std::string(995, 'f')), 0);
         c->Cmd(rapi2::kCloseHandle, a);
         return error;
       },
       0, 0},
      {"a copy onto the full card",
       [&] { return Word(c->Cmd(rapi2::kCopyFile, u"\\seed.bin", u"\\Card\\t.bin", 1), 0); },
       112, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.act(), step.error);
    EXPECT_EQ(free(), step.free);
  }
}

// An emulator serving `image` in a process of its own, to be killed or stopped.
struct ServedImage {
  pid_t pid = -1;
  std::string address;
  explicit ServedImage(const std::filesystem::path& image) {
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const std::string img = image.string();
    const char* argv[] = {QWB_EMU_EXE, "serve", img.c_str(), "--listen", "tcp:127.0.0.1:0",
                          nullptr};
    if (posix_spawn(&pid, QWB_EMU_EXE, &fa, nullptr, const_cast<char**>(argv), environ) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    char ch;
    while (::read(out[0], &ch, 1) == 1 && ch != '\n') address += ch;
    ::close(out[0]);
  }
  // Ends it with `sig`; true when it died of it (SIGKILL) or exited cleanly (SIGTERM).
  bool End(int sig) {
    ::kill(pid, sig);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return false;
    return sig == SIGKILL ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                          : WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

// A run of writes through one handle on a file without the archive bit, in an emulator of its
// own that then goes away: killed in the middle of the run, killed after the handle closed or
// after the connection dropped, or stopped. What the image holds afterwards: every byte
// acknowledged, the archive bit, and the last write time the calls reported (killed in the
// middle: a time no earlier than the run's first write).
TEST_F(FileCalls, WriteRunsLeaveTheirTimesInTheImageHoweverTheyEnd) {
  enum class End { kKilledInTheRun, kClosedThenKilled, kDroppedThenKilled, kStopped };
  emu_->Stop();
  emu_.reset();
  for (End end : {End::kKilledInTheRun, End::kClosedThenKilled, End::kDroppedThenKilled,
                  End::kStopped}) {
    SCOPED_TRACE(static_cast<int>(end));
    {
      auto emu = Emulator::Open(dir_);
      emu->files().PutFile(u"\\My Documents\\Log.bin", {'o', 'l', 'd'}, FILE_ATTRIBUTE_NORMAL,
                           kTime);
    }
    ServedImage served(dir_);
    ASSERT_GT(served.pid, 0);
    auto c = std::make_unique<Client>(served.address);
    uint32_t h = OpenOk(*c, u"\\My Documents\\log.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
    const uint64_t first = DeviceFs::Now();
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Word(c->Write(h, std::string(1000, char('a' + i))), 0), 0u);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // GetFileTime answers words err, ok, then three FILETIMEs: creation, access, write.
    auto times = c->Cmd(rapi2::kGetFileTime, h);
    ASSERT_EQ(times.size(), 32u);
    const uint64_t reported = uint64_t(Word(times, 6)) | uint64_t(Word(times, 7)) << 32;
    EXPECT_GE(reported, first);
    switch (end) {
      case End::kKilledInTheRun:
        ASSERT_TRUE(served.End(SIGKILL));
        break;
      case End::kClosedThenKilled:
        EXPECT_EQ(Words(c->Cmd(rapi2::kCloseHandle, h)), (W{0, 1}));
        ASSERT_TRUE(served.End(SIGKILL));
        break;
      case End::kDroppedThenKilled:
        c.reset();
        // The connection's end is noticed by its serving thread: give it a moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(served.End(SIGKILL));
        break;
      case End::kStopped:
        ASSERT_TRUE(served.End(SIGTERM));
        break;
    }
    auto image = Image::Open(dir_);
    DeviceFs files(*image);
    std::vector<FileEntry> found;
    ASSERT_EQ(files.Find(u"\\My Documents\\log.bin", &found), 0u);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 5000u);  // the old three bytes overwritten, every write kept
    EXPECT_TRUE(found[0].attrs & FILE_ATTRIBUTE_ARCHIVE);
    if (end == End::kKilledInTheRun) {
      EXPECT_GE(found[0].mtime, first);
      EXPECT_LE(found[0].mtime, reported);
    } else {
      EXPECT_EQ(found[0].mtime, reported);
    }
  }
}

// A reader's next block is read ahead once its reply has gone; whatever changes the file
// meanwhile, through another handle or the image, the next read answers the file as it is now.
TEST_F(FileCalls, ReadAheadNeverAnswersStaleBytes) {
  auto c = Connect();
  auto other = Connect();
  auto read8 = [&](uint32_t h) {
    auto r = c->Cmd(rapi2::kReadFile, h, 8u);
    EXPECT_GE(r.size(), 12u);
    return r.size() < 12 ? std::string("?") : std::string(r.begin() + 12, r.end());
  };
  auto seek = [&](Client& cl, uint32_t h, uint32_t to) {
    // handle, distance, no high word, from the start
    EXPECT_EQ(Word(cl.Cmd(rapi2::SetFilePointer::kCommand, h, to, 0u, 0u), 1), to);
  };
  const uint32_t rw = FILE_SHARE_READ | FILE_SHARE_WRITE;
  struct Case {
    const char* name;
    std::function<void(uint32_t reader)> change;
    std::string next;
  };
  const std::vector<Case> cases = {
      {"nothing changes", [](uint32_t) {}, "BBBBBBBB"},
      {"another handle writes the next block",
       [&](uint32_t) {
         uint32_t w = OpenOk(*other, u"\\ra.bin", GENERIC_WRITE, rw, OPEN_EXISTING);
         seek(*other, w, 8);
         EXPECT_EQ(Word(other->Write(w, "bbbbbbbb"), 0), 0u);
         other->Cmd(rapi2::kCloseHandle, w);
       },
       "bbbbbbbb"},
      {"another handle ends the file there",
       [&](uint32_t) {
         uint32_t w = OpenOk(*other, u"\\ra.bin", GENERIC_WRITE, rw, OPEN_EXISTING);
         seek(*other, w, 8);
         EXPECT_EQ(Word(other->Cmd(0x27u, w), 0), 0u);
         other->Cmd(rapi2::kCloseHandle, w);
       },
       ""},
      {"another handle truncates it on opening",
       [&](uint32_t) {
         uint32_t w = OpenOk(*other, u"\\ra.bin", GENERIC_WRITE, rw, CREATE_ALWAYS);
         other->Cmd(rapi2::kCloseHandle, w);
       },
       ""},
      {"the image puts a new file in its place",
       [&](uint32_t) {
         const std::string n = "xxxxxxxxyyyyyyyy";
         emu_->files().PutFile(u"\\ra.bin", std::vector<uint8_t>(n.begin(), n.end()));
       },
       "yyyyyyyy"},
      {"the reader moves its pointer", [&](uint32_t r) { seek(*c, r, 16); }, "CCCCCCCC"},
      {"the reader moves back to the start", [&](uint32_t r) { seek(*c, r, 0); }, "AAAAAAAA"},
      {"the reader moves past the end", [&](uint32_t r) { seek(*c, r, 30); }, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string content = "AAAAAAAABBBBBBBBCCCCCCCC";
    emu_->files().PutFile(u"\\ra.bin", std::vector<uint8_t>(content.begin(), content.end()));
    uint32_t h = OpenOk(*c, u"\\ra.bin", GENERIC_READ, rw, OPEN_EXISTING);
    EXPECT_EQ(read8(h), "AAAAAAAA");
    c->Cmd(rapi2::kGetFileTime, h);  // answered after the read-ahead: it is in place now
    k.change(h);
    EXPECT_EQ(read8(h), k.next);
    c->Cmd(rapi2::kCloseHandle, h);
  }
}

}  // namespace
}  // namespace wmemu::test
