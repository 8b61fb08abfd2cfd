// A cable pulled at every byte: for the calls the component makes of each kind of data
// (tasks, calendar, contacts over the stream, messages, SIM, files), the phone's reply is cut
// after K bytes, for every K from 0 to the reply's size on one call per kind and for a sample
// of K on the others. Every cut call must fail with the transport's failure, without crash,
// leak (the ASan build checks) or hang, and a whole reply (K = size) must still work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/Text.h"
#include "host/Component.h"
#include "host/HostObjects.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/support/EmulatedPhone.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

// HRESULT_FROM_WIN32(WSAECONNRESET): a connection that went away under a call.
constexpr HRESULT kConnectionReset = static_cast<HRESULT>(0x80072746u);

enum class Expect {
  kReset,    // the call fails with kConnectionReset
  kFails,    // the call fails (the table maps the transport failure to its own code)
  kMarksGone,  // the call may complete, but the table knows the phone is gone: its next
               // listing fails
};

// One call under test: `prepare` brings a fresh table to the point of the call (every step
// of it must succeed), `call` is the call whose reply named `reply` is cut.
struct CallCase {
  const char* label;
  DATATABLE_SUID table;
  std::string reply;  // a RAPI call, DevCe function or phonebook stream command
  bool fullSweep;
  Expect expect;
  std::function<HRESULT(IDataTable*)> prepare;
  std::function<HRESULT(IDataTable*)> call;
};

HRESULT Next(IDataTable* t) {
  ComPtr<IItem> item;
  HRESULT hr = t->NextItem(item.ReleaseAndGetAddressOf());
  // A listing that ended gives S_OK and no item: for these cases that is a failure too.
  return hr == S_OK && !item ? S_FALSE : hr;
}
HRESULT Begin(IDataTable* t) { return t->ListItemsAllBegin(); }
// Goes on listing (groups come before contacts) until the first failure; S_OK after 30.
HRESULT NextFew(IDataTable* t) {
  for (int i = 0; i < 30; ++i) {
    HRESULT hr = Next(t);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}
HRESULT Nothing(IDataTable*) { return S_OK; }

// The cuts tried of a reply of `size` bytes: all of them, or the edges of the frame header
// and of the reply's first words, a spread over the rest, and the whole reply.
std::vector<uint64_t> Cuts(uint64_t size, bool full) {
  std::vector<uint64_t> ks;
  if (full) {
    for (uint64_t k = 0; k <= size; ++k) ks.push_back(k);
    return ks;
  }
  for (uint64_t k = 0; k <= 16 && k < size; ++k) ks.push_back(k);
  for (uint64_t k = 17; k < size; k += 1 + size / 24) ks.push_back(k);
  if (size > 1) ks.push_back(size - 1);
  ks.push_back(size);
  return ks;
}

class CutReplyE2E : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    phone_ = new qwbhost::EmulatedPhone("demo", "Hanul HD-100");
    setenv("QWBDCAWM_REGISTRY", (phone_->folder() / "registry.reg").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(qwbhost::EnsureComponentRegistered()));
    ASSERT_TRUE(SUCCEEDED(
        qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so")));
  }
  static void TearDownTestSuite() { delete phone_; }

  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    setenv("APPDATA", (phone_->folder() / "appdata").c_str(), 1);
    wincompat::SetTimeZoneRuleForTesting("KST-9");
    wincompat::SetConsoleSink([](const std::string&) {});
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    wincompat::SetDebugLineHook([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMu_);
      lines_.push_back(line);
    });
  }
  void TearDown() override {
    wincompat::SetDebugLineHook(nullptr);
    wincompat::SetConsoleSink(nullptr);
    wincompat::SetTimeZoneRuleForTesting("");
    Close();
    CoUninitialize();
  }

  // A fresh device data object (so a fresh RAPI session) and its table `id`.
  ComPtr<IDataTable> Open(DATATABLE_SUID id) {
    Close();
    ComPtr<IDataTable> table;
    EXPECT_EQ(qwbhost::CreateDeviceData(std::addressof(device_)), S_OK);
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    EXPECT_EQ(device_->SetConneciton(connection.Get(), modelDb->AsUnknown()), S_OK);
    EXPECT_EQ(device_->ListDataTable(), S_OK);
    EXPECT_EQ(device_->GetDataTable(id, table.ReleaseAndGetAddressOf()), S_OK);
    return table;
  }
  void Close() { device_ = nullptr; }

  bool SawLineContaining(const std::string& text) {
    std::lock_guard<std::mutex> lock(linesMu_);
    for (const auto& l : lines_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  static wmemu::Emulator& Emu() { return phone_->emulator(); }
  static inline qwbhost::EmulatedPhone* phone_ = nullptr;
  ComPtr<IDeviceData> device_;
  std::mutex linesMu_;
  std::vector<std::string> lines_;
};

const std::vector<CallCase>& Cases() {
  using namespace std::placeholders;
  static const std::vector<CallCase> cases = {
      // Tasks: the entry-id list, a record, and a write's answer.
      {"task list", DTID_TASK, "DevCeList", false, Expect::kReset, Nothing, Begin},
      {"task get", DTID_TASK, "DevCeGet", true, Expect::kReset, Begin, Next},
      // Calendar (a lunar-calendar model: its records come through the lunar calls).
      {"appointment list", DTID_CALENDAR, "DevCeList", false, Expect::kReset, Nothing, Begin},
      {"appointment get", DTID_CALENDAR, "DevCeGetLunarItem", true, Expect::kReset, Begin,
       Next},
      // Contacts over the stream: the contact id list, then a contact.
      {"contact ids", DTID_PHONEBOOK, "DevCeListContacts", false, Expect::kFails, Nothing, Begin},
      {"contact get", DTID_PHONEBOOK, "DevCeGetContact", true, Expect::kFails, Begin, NextFew},
      // Messages (this model's family lists them whole over a stream) and the SIM.
      {"message list", DTID_MESSAGE, "DevCeMessageList", false, Expect::kFails, Nothing, Begin},
      {"SIM list", DTID_SIM, "DevCePhonebookSIMListAll", false, Expect::kFails, Nothing, Begin},
      // Files: the first search of the listing, a later one, and the free space it asks for.
      {"file search", DTID_FILE, "CeFindFirstFile", true, Expect::kFails, Nothing, Begin},
      {"file next", DTID_FILE, "CeFindNextFile", false, Expect::kFails, Nothing, Begin},
      {"disk space", DTID_FILE, "CeGetDiskFreeSpaceEx", false, Expect::kMarksGone, Nothing,
       Begin},
  };
  return cases;
}

TEST_P(CutReplyE2E, EveryCutFailsCleanly) {
  const CallCase& c = Cases()[static_cast<size_t>(GetParam())];
  SCOPED_TRACE(c.label);
  // The whole reply once, uncut, to learn its size.
  {
    ComPtr<IDataTable> t = Open(c.table);
    ASSERT_TRUE(t);
    ASSERT_EQ(c.prepare(t.Get()), S_OK);
    Emu().faults().Clear();
    ASSERT_EQ(c.call(t.Get()), S_OK);
  }
  const uint64_t size = Emu().faults().FirstReplySize(c.reply);
  if (size == 0) {
    std::lock_guard<std::mutex> lock(linesMu_);
    for (const auto& l : lines_)
      if (l.find("DevCe") != std::string::npos) std::cerr << l << "\n";
  }
  ASSERT_GT(size, 0u) << "no reply to " << c.reply << " was seen";
  int failures = 0;
  for (uint64_t k : Cuts(size, c.fullSweep)) {
    ComPtr<IDataTable> t = Open(c.table);
    ASSERT_TRUE(t);
    ASSERT_EQ(c.prepare(t.Get()), S_OK) << "at K = " << k;
    Emu().faults().CutReply(c.reply, k);
    const HRESULT hr = c.call(t.Get());
    Emu().faults().Clear();
    if (k >= size) {
      EXPECT_EQ(hr, S_OK) << "the whole reply, K = " << k;
    } else if (c.expect == Expect::kMarksGone) {
      EXPECT_TRUE(FAILED(t->ListItemsAllBegin())) << "K = " << k << " of " << size;
    } else if (c.expect == Expect::kReset) {
      EXPECT_EQ(hr, kConnectionReset) << "K = " << k << " of " << size;
    } else {
      EXPECT_TRUE(FAILED(hr)) << "K = " << k << " of " << size << ": hr " << std::hex << hr;
    }
    if (HasFailure() && ++failures > 5) FAIL() << "giving up";
    t = nullptr;
    Close();
  }
}

INSTANTIATE_TEST_SUITE_P(Calls, CutReplyE2E,
                         ::testing::Range(0, static_cast<int>(Cases().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                           std::string name = Cases()[static_cast<size_t>(info.param)].label;
                           for (char& ch : name)
                             if (ch == ' ') ch = '_';
                           return name;
                         });

}  // namespace
