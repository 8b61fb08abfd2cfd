// A phone that dies mid-write: the component creates tasks on a `qwbdcawm-emu serve` process
// that is killed with SIGKILL at a random moment, over and over. After each kill the image
// must open cleanly (SQLite's integrity check) and hold every task whose creation the
// component saw acknowledged, with its subject; then the phone is served again.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/Image.h"
#include "emulator/RecordStore.h"
#include "host/Component.h"
#include "host/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int kKills = 50;

// Serves `image` in a child process; returns its pid and sets *address.
pid_t Serve(const fs::path& image, std::string* address) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  const std::string img = image.string();
  const char* argv[] = {QWB_EMU_EXE, "serve", img.c_str(), "--listen", "tcp:127.0.0.1:0",
                        nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, QWB_EMU_EXE, &fa, nullptr, const_cast<char**>(argv), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  address->clear();
  char ch;
  while (::read(out[0], &ch, 1) == 1 && ch != '\n') *address += ch;
  ::close(out[0]);
  return pid;
}

std::string IntegrityCheck(const fs::path& db) {
  sqlite3* h = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    result = "no answer";
    if (sqlite3_prepare_v2(h, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return result;
}

std::string SubjectOf(const std::vector<devrec::Property>& props) {
  for (const auto& p : props)
    if (p.name == "Subject" && !p.value.empty())
      return std::string(p.value.begin(), p.value.end() - 1);  // without the NUL
  return "";
}

ULONG Ordinal(IItem* item, const char16_t* column) {
  ULONG ord = 0;
  LONG found = 0;
  item->GetOrdinal(BStr(column).Get(), &ord, &found);
  return ord;
}

TEST(StoreDurability, EveryAcknowledgedWriteSurvivesSigkill) {
  const fs::path dir = fs::temp_directory_path() /
                       ("qwb-durability-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const fs::path image = dir / "img";
  wmemu::Emulator::CreateImage(image, "empty", "Hanul HD-100");
  setenv("QWBDCAWM_REGISTRY", (dir / "registry.reg").c_str(), 1);
  setenv("APPDATA", (dir / "appdata").c_str(), 1);
  ASSERT_TRUE(SUCCEEDED(qwbhost::EnsureComponentRegistered()));
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

  std::mt19937 rng(std::random_device{}());
  std::vector<std::pair<uint32_t, std::string>> acknowledged;
  int cutShort = 0;  // rounds in which the kill came in the middle of the writes
  for (int round = 0; round < kKills; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    std::string address;
    const pid_t pid = Serve(image, &address);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(address.rfind("tcp:", 0), 0u) << address;
    setenv("QWBDCAWM_DEVICE", address.c_str(), 1);
    {
      ComPtr<IDeviceData> device;
      ComPtr<IDataTable> table;
      ASSERT_EQ(qwbhost::CreateDeviceData(std::addressof(device)), S_OK);
      auto connection = qwbhost::HostConnection::Create(u"C:");
      auto modelDb = qwbhost::HostModelDB::Create();
      ASSERT_EQ(device->SetConneciton(connection.Get(), modelDb->AsUnknown()), S_OK);
      ASSERT_EQ(device->ListDataTable(), S_OK);
      ASSERT_EQ(device->GetDataTable(DTID_TASK, table.ReleaseAndGetAddressOf()), S_OK);
      // The kill comes after a random number of microseconds, while the writes go on.
      const int delayUs = static_cast<int>(rng() % 40000);
      std::thread killer([pid, delayUs] {
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        ::kill(pid, SIGKILL);
      });
      for (int i = 0; i < 400; ++i) {
        // Built piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on literal + string.
        std::string subject = "r";
        subject.append(std::to_string(round)).append(" t").append(std::to_string(i));
        ComPtr<IItem> item;
        if (table->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()) !=
            S_OK)
          break;
        item->SetValue(Ordinal(item.Get(), u"SUBJECT"),
                       Variant::Str(std::u16string(subject.begin(), subject.end())).Get());
        SUID id = SUID_NULL;
        if (table->CreateItem(item.Get(), &id) != S_OK) {
          ++cutShort;
          break;
        }
        acknowledged.emplace_back(static_cast<uint32_t>(id), subject);
      }
      killer.join();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // The image as the next start finds it.
    ASSERT_EQ(IntegrityCheck(image / "image.sqlite"), "ok");
    auto img = wmemu::Image::Open(image);
    wmemu::RecordStore tasks(*img, devrec::kKindTask);
    for (const auto& [id, subject] : acknowledged) {
      auto props = tasks.Get(id);
      ASSERT_TRUE(props) << "task " << id << " (" << subject << ") was acknowledged but is lost";
      EXPECT_EQ(SubjectOf(*props), subject);
    }
  }
  // Most rounds must have been cut in the middle of a write for the test to mean anything.
  EXPECT_GT(cutShort, kKills / 2);
  EXPECT_GT(acknowledged.size(), 0u);
  CoUninitialize();
  fs::remove_all(dir);
}

}  // namespace
