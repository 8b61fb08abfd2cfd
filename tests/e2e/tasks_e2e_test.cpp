// The task table end to end: host -> CoCreateInstance -> component -> librapi -> RAPI2 ->
// in-process emulator. Records are seeded into and checked in the emulator's task store
// directly, so that what travelled over the wire is what is compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/RecordStore.h"
#include "host/support/Component.h"
#include "host/support/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

using devrec::Property;

DATE At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME st{WORD(y), WORD(mo), 0, WORD(d), WORD(h), WORD(mi), WORD(s), 0};
  DOUBLE out = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &out));
  return out;
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// The text of the thread's error information (source and description), "" when none.
std::string TakeErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.ReleaseAndGetAddressOf()) != S_OK || !info) return "";
  BStr source, description;
  info->GetSource(source.Out());
  info->GetDescription(description.Out());
  std::u16string all = source.Str() + u" | " + description.Str();
  return std::string(all.begin(), all.end());  // the texts checked are ASCII
}

class TasksE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/qwb-tasks-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = new std::filesystem::path(tmpl);
    setenv("QWBDCAWM_REGISTRY", (*root_ / "registry.reg").c_str(), 1);
    wmemu::Emulator::CreateImage(*root_ / "phone", "empty", "Aster W1");
    emu_ = wmemu::Emulator::Open(*root_ / "phone").release();
    std::string address = emu_->Listen("tcp:127.0.0.1:0");
    setenv("QWBDCAWM_DEVICE", address.c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(qwbhost::EnsureComponentRegistered()));
    ASSERT_TRUE(SUCCEEDED(
        qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so")));
  }
  static void TearDownTestSuite() {
    emu_->Stop();
    delete emu_;
    std::filesystem::remove_all(*root_);
    delete root_;
  }

  void SetUp() override {
    emu_->Control(R"({"cmd":"clear"})");
    wmemu::RecordStore store(emu_->image(), 3);
    for (uint32_t id : store.List()) store.Delete(id);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(qwbhost::CreateDeviceData(std::addressof(device_)), S_OK);
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    ASSERT_EQ(device_->SetConneciton(connection.Get(), modelDb->AsUnknown()), S_OK);
    ASSERT_EQ(device_->ListDataTable(), S_OK);
    ASSERT_EQ(device_->GetDataTable(DTID_TASK, table_.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(table_);
    wincompat::SetDebugLineHook([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMu_);
      lines_.push_back(line);
    });
  }
  void TearDown() override {
    wincompat::SetDebugLineHook(nullptr);
    wincompat::SetTimeZoneRuleForTesting("");
    table_ = nullptr;
    device_ = nullptr;
    CoUninitialize();
  }

  static uint32_t Seed(std::vector<Property> props) {
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back(wmemu::RecordStore::Raw(3, p));
    return wmemu::RecordStore(emu_->image(), 3).Add(raw);
  }
  static std::vector<Property> Stored(uint32_t id) {
    auto props = wmemu::RecordStore(emu_->image(), 3).Get(id);
    return props ? *props : std::vector<Property>{};
  }
  static const Property* FindProp(const std::vector<Property>& props, const char* name) {
    for (const auto& p : props)
      if (p.name == name) return &p;
    return nullptr;
  }
  // The stored value's bytes as T; `missing` when the property is absent or too short.
  template <typename T>
  static T StoredAs(const std::vector<Property>& props, const char* name, T missing) {
    const Property* p = FindProp(props, name);
    if (!p || p->value.size() < sizeof(T)) return missing;
    std::memcpy(&missing, p->value.data(), sizeof(T));
    return missing;
  }
  static int32_t StoredInt(const std::vector<Property>& props, const char* name) {
    return StoredAs<int32_t>(props, name, -12345);
  }
  static double StoredDate(const std::vector<Property>& props, const char* name) {
    return StoredAs<double>(props, name, -1);
  }
  static uint16_t StoredBool(const std::vector<Property>& props, const char* name) {
    return StoredAs<uint16_t>(props, name, 0x1234);
  }

  static Variant Get(IItem* item, const char16_t* column) {
    BStr name(column);
    ULONG ord = 0;
    LONG found = 0;
    EXPECT_EQ(item->GetOrdinal(name.Get(), &ord, &found), S_OK);
    EXPECT_EQ(found, 1) << std::string(column, column + std::char_traits<char16_t>::length(column));
    Variant v;
    EXPECT_EQ(item->GetValue(ord, v.Ptr()), S_OK);
    return v;
  }
  static std::u16string Text(IItem* item, const char16_t* column) {
    Variant v = Get(item, column);
    return v.vt() == VT_BSTR ? std::u16string(v.Get().bstrVal) : u"<not text>";
  }
  static LONG Int(IItem* item, const char16_t* column) {
    Variant v = Get(item, column);
    return v.vt() == VT_I4 ? v.Get().lVal : -999;
  }
  static DATE Date(IItem* item, const char16_t* column) {
    Variant v = Get(item, column);
    return v.vt() == VT_DATE ? v.Get().date : -1;
  }
  static void Set(IItem* item, const char16_t* column, const Variant& v) {
    BStr name(column);
    ULONG ord = 0;
    LONG found = 0;
    ASSERT_EQ(item->GetOrdinal(name.Get(), &ord, &found), S_OK);
    ASSERT_EQ(found, 1);
    ASSERT_EQ(item->SetValue(ord, v.Get()), S_OK);
  }

  // Every item of a listing; `begin` false continues the one already started.
  std::vector<ComPtr<IItem>> ListAll(bool begin = true) {
    std::vector<ComPtr<IItem>> items;
    if (begin) {
      EXPECT_EQ(table_->ListItemsAllBegin(), S_OK);
    }
    for (;;) {
      ComPtr<IItem> item;
      EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
      if (!item) break;
      items.push_back(item);
    }
    return items;
  }
  static std::vector<SUID> Ids(const std::vector<ComPtr<IItem>>& items) {
    std::vector<SUID> ids;
    for (const auto& item : items) {
      SUID id = SUID_NULL;
      EXPECT_EQ(item->get_SUID(&id), S_OK);
      ids.push_back(id);
    }
    return ids;
  }
  // The next item's id of the listing under way; SUID_NULL at its end.
  SUID NextId() {
    ComPtr<IItem> item;
    EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
    SUID id = SUID_NULL;
    if (item) item->get_SUID(&id);
    return id;
  }
  bool SawLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(linesMu_);
    for (const auto& l : lines_)
      if (l == line) return true;
    return false;
  }

  static std::filesystem::path* root_;
  static wmemu::Emulator* emu_;
  ComPtr<IDeviceData> device_;
  ComPtr<IDataTable> table_;
  std::mutex linesMu_;
  std::vector<std::string> lines_;
};

std::filesystem::path* TasksE2E::root_ = nullptr;
wmemu::Emulator* TasksE2E::emu_ = nullptr;

TEST_F(TasksE2E, ReadsSeededTasksWithTheirMappingEdges) {
  uint32_t a = Seed({Property::String("Subject", "No dates"), Property::Date("StartDate", 949998.0),
                     Property::Date("DueDate", 949998.0), Property::Integer("Importance", 3),
                     Property::Boolean("Complete", 1), Property::Integer("ulSensitivity", 1)});
  uint32_t b =
      Seed({Property::String("Subject", "Weekly"), Property::Date("StartDate", At(2026, 1, 5)),
            Property::Date("DueDate", At(2026, 1, 5)), Property::Boolean("Complete", 0xFFFF),
            Property::Boolean("IsRecurring", 0xFFFF),
            Property::Integer("RecurrPattern.RecurrenceType", 1),
            Property::Integer("RecurrPattern.DayOfWeekMask", 10),
            Property::Integer("RecurrPattern.Interval", 2),
            Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)});
  uint32_t c =
      Seed({Property::String("Subject", "Second Tuesday"), Property::Boolean("IsRecurring", 0xFFFF),
            Property::Integer("RecurrPattern.RecurrenceType", 3),
            Property::Integer("RecurrPattern.DayOfWeekMask", 4),
            Property::Integer("RecurrPattern.Instance", 2),
            Property::Integer("RecurrPattern.Occurrences", 6)});

  // The count starts a listing of its own.
  ULONG count = 99;
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), S_OK);
  EXPECT_EQ(count, 3u);
  std::vector<ComPtr<IItem>> items = ListAll(false);
  ASSERT_EQ(items.size(), 3u);
  // After the end, still a null item and S_OK.
  ComPtr<IItem> none;
  EXPECT_EQ(table_->NextItem(none.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_FALSE(none);

  EXPECT_EQ(Ids(items), (std::vector<SUID>{SUID(a), SUID(b), SUID(c)}));
  DCADATATYPE type;
  ASSERT_EQ(items[0]->getType(&type), S_OK);
  EXPECT_EQ(type, DCADT_TASK);

  IItem* first = items[0].Get();
  EXPECT_EQ(Get(first, u"START_DATE").vt(), VT_EMPTY);
  EXPECT_EQ(Get(first, u"END_DATE").vt(), VT_EMPTY);
  EXPECT_EQ(Text(first, u"PRIORITY"), u"Low");
  EXPECT_EQ(Text(first, u"DONE_STATE"), u"Undone");  // Complete 1 is not done
  EXPECT_EQ(Text(first, u"SENSITIVITY"), u"Personal");
  EXPECT_EQ(Get(first, u"RECURRENCE_EXPIRE_DATE").vt(), VT_NULL);

  IItem* weekly = items[1].Get();
  EXPECT_EQ(Text(weekly, u"DONE_STATE"), u"Done");
  EXPECT_EQ(Date(weekly, u"START_DATE"), At(2026, 1, 5));
  EXPECT_EQ(Int(weekly, u"RECURRENCE_TYPE"), 2);
  EXPECT_EQ(Int(weekly, u"RECURRENCE_FLAG"), 10);
  EXPECT_EQ(Int(weekly, u"RECURRENCE_EVERY"), 2);
  EXPECT_EQ(Int(weekly, u"RECURRENCE_EXPIRE_TYPE"), 2);

  IItem* monthly = items[2].Get();
  EXPECT_EQ(Int(monthly, u"RECURRENCE_TYPE"), 4);
  EXPECT_EQ(Int(monthly, u"RECURRENCE_FLAG"), 260);
  EXPECT_EQ(Int(monthly, u"RECURRENCE_EXPIRE_TYPE"), 1);
  EXPECT_EQ(Int(monthly, u"RECURRENCE_EXPIRE_VALUE"), 6);

  // Written back unchanged, the monthly task keeps mask 4 and instance 2 on the phone.
  ASSERT_EQ(table_->UpdateItem(monthly), S_OK);
  auto stored = Stored(c);
  EXPECT_EQ(StoredInt(stored, "RecurrPattern.DayOfWeekMask"), 4);
  EXPECT_EQ(StoredInt(stored, "RecurrPattern.Instance"), 2);
  EXPECT_EQ(StoredInt(stored, "RecurrPattern.Occurrences"), 6);

  EXPECT_TRUE(SawLine("[CDataTableWMTask::GetAllEntryID]DevCeList hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMTask::NextItem]DevCeGet hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMTask::UpdateItem]DevCeReplaceTask hr=0x0"));
}

TEST_F(TasksE2E, ListingRules) {
  // Never listed: E_FAIL and a null item.
  ComPtr<IItem> item;
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_FALSE(item);
  EXPECT_EQ(table_->NextItem(nullptr), E_POINTER);

  // An empty phone: a listing with nothing in it.
  ULONG count = 7;
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_FALSE(item);

  SUID one = SUID(Seed({Property::String("Subject", "one")}));
  SUID two = SUID(Seed({Property::String("Subject", "two")}));
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_EQ(NextId(), one);
  // A task added during the listing is not part of it; a new begin restarts it.
  Seed({Property::String("Subject", "three")});
  EXPECT_EQ(NextId(), two);
  EXPECT_EQ(NextId(), SUID_NULL);
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_EQ(NextId(), one);
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), S_OK);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(table_->ListItemsEnd(), S_OK);

  // A task created during a listing raises the count but is not listed; on an empty listing
  // the count without ids answers S_FALSE.
  ComPtr<IItem> fresh;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, fresh.ReleaseAndGetAddressOf()),
            S_OK);
  Set(fresh.Get(), u"SUBJECT", Variant::Str(u"four"));
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_NE(NextId(), SUID_NULL);
  SUID created = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(fresh.Get(), &created), S_OK);
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), S_OK);
  EXPECT_EQ(count, 4u);
  auto rest = Ids(ListAll(false));
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), created), 0);
  wmemu::RecordStore store(emu_->image(), 3);
  for (uint32_t id : store.List()) store.Delete(id);
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ASSERT_EQ(table_->CreateItem(fresh.Get(), &created), S_OK);
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_FALSE);
  EXPECT_FALSE(item);

  // Methods the task table does not serve.
  EXPECT_EQ(table_->ReadItem(nullptr), E_NOTIMPL);
  EXPECT_EQ(table_->ListChildItemsBegin(nullptr), E_NOTIMPL);
  EXPECT_EQ(table_->GetProperty(nullptr, nullptr), E_NOTIMPL);
}

TEST_F(TasksE2E, CreateUpdateDeleteWithReRead) {
  wincompat::SetTimeZoneRuleForTesting("CET-1CEST,M3.5.0,M10.5.0/3");
  ComPtr<IItem> item;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(Get(item.Get(), u"SUBJECT").vt(), VT_EMPTY);
  Set(item.Get(), u"SUBJECT", Variant::Str(u"Renew passport"));
  Set(item.Get(), u"START_DATE", Variant::Date(At(2026, 5, 10, 13, 0)));
  Set(item.Get(), u"END_DATE", Variant::Date(At(2026, 5, 2)));  // before the start
  Set(item.Get(), u"PRIORITY", Variant::Str(u"low"));
  Set(item.Get(), u"DONE_STATE", Variant::Str(u"Done"));
  Set(item.Get(), u"ALARM_TYPE", Variant::Str(u"Time"));
  Set(item.Get(), u"ALARM_TIME", Variant::Date(At(2026, 5, 9, 18, 30, 45)));
  Set(item.Get(), u"RECURRENCE_TYPE", Variant::Str(u"1"));  // converted to VT_I4 on the way
  Set(item.Get(), u"RECURRENCE_FLAG", Variant::I4(1));
  Set(item.Get(), u"RECURRENCE_EXPIRE_TYPE", Variant::I4(2));

  ULONG before = 0;
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &before), S_OK);
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  ASSERT_GT(id, 0);
  SUID itemId = SUID_NULL;
  item->get_SUID(&itemId);
  EXPECT_EQ(itemId, id);
  ULONG after = 0;
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &after), S_OK);
  EXPECT_EQ(after, before + 1);

  // What the phone stored.
  auto stored = Stored(static_cast<uint32_t>(id));
  EXPECT_EQ(StoredDate(stored, "StartDate"), At(2026, 5, 10));
  EXPECT_EQ(StoredDate(stored, "DueDate"), At(2026, 5, 10));
  EXPECT_EQ(StoredInt(stored, "Importance"), 2);
  EXPECT_EQ(StoredBool(stored, "Complete"), 0xFFFF);  // sent as 1, kept as true
  EXPECT_EQ(StoredBool(stored, "ReminderSet"), 0xFFFF);
  EXPECT_EQ(StoredDate(stored, "ReminderTime"), At(2026, 5, 9, 16, 30));  // CEST is UTC+2
  EXPECT_EQ(StoredInt(stored, "RecurrPattern.DayOfWeekMask"), 62);
  EXPECT_EQ(StoredBool(stored, "RecurrPattern.NoEndDate"), 0xFFFF);

  // The item shows the re-read values.
  EXPECT_EQ(Date(item.Get(), u"START_DATE"), At(2026, 5, 10));
  EXPECT_EQ(Date(item.Get(), u"END_DATE"), At(2026, 5, 10));
  EXPECT_EQ(Text(item.Get(), u"PRIORITY"), u"Normal");
  EXPECT_EQ(Text(item.Get(), u"DONE_STATE"), u"Done");
  EXPECT_EQ(Date(item.Get(), u"ALARM_TIME"), At(2026, 5, 9, 18, 30));
  EXPECT_EQ(Int(item.Get(), u"RECURRENCE_TYPE"), 1);
  EXPECT_EQ(Int(item.Get(), u"RECURRENCE_FLAG"), 1);
  EXPECT_TRUE(SawLine("[CDataTableWMTask::CreateItem]DevCeAddTask hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMTask::CreateItem]DevCeGet hr=0x0"));

  // Update: the whole record is replaced.
  Set(item.Get(), u"SUBJECT", Variant::Str(u"Renew passport and ID"));
  Set(item.Get(), u"PRIORITY", Variant::Str(u"High"));
  Set(item.Get(), u"RECURRENCE_TYPE", Variant::I4(0));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  stored = Stored(static_cast<uint32_t>(id));
  const Property* subject = FindProp(stored, "Subject");
  ASSERT_NE(subject, nullptr);
  EXPECT_EQ(devrec::ValueAsString(devrec::RawEntry{subject->name, 1, subject->value}),
            "Renew passport and ID");
  EXPECT_EQ(StoredInt(stored, "Importance"), 1);
  EXPECT_EQ(StoredInt(stored, "RecurrPattern.RecurrenceType"), -1);
  EXPECT_EQ(FindProp(stored, "IsRecurring"), nullptr);
  EXPECT_EQ(Int(item.Get(), u"RECURRENCE_TYPE"), 0);
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &after), S_OK);
  EXPECT_EQ(after, before + 1);

  // Delete.
  ASSERT_EQ(table_->DeleteItem(item.Get()), S_OK);
  EXPECT_TRUE(Stored(static_cast<uint32_t>(id)).empty());
  EXPECT_TRUE(SawLine("[CDataTableWMTask::DeleteItem]DevCeDelete hr=0x0"));
  EXPECT_EQ(ListAll().size(), 0u);
}

TEST_F(TasksE2E, DeviceFailuresReachTheHostWithErrorInformation) {
  uint32_t id = Seed({Property::String("Subject", "one")});

  // A failing DevCeGet: the HRESULT with error information naming the method and the file.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  emu_->Control(R"({"cmd":"fail","name":"DevCeGet","count":1,"hresult":"0x80004005"})");
  ComPtr<IItem> item;
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_FALSE(item);
  std::string text = TakeErrorText();
  EXPECT_NE(text.find("CDataTableWMTask::NextItem"), std::string::npos) << text;
  EXPECT_NE(text.find("DataTableWMTask.cpp"), std::string::npos) << text;
  EXPECT_TRUE(SawLine("[CDataTableWMTask::NextItem]DevCeGet hr=0x80004005"));
  // The failed record was not passed over.
  ASSERT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_TRUE(item);

  // An unknown id: the phone's HRESULT, unchanged.
  ComPtr<IItem> ghost;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, static_cast<SUID>(id + 1000), SUID_NULL,
                            ghost.ReleaseAndGetAddressOf()),
            S_OK);
  HRESULT hr = table_->DeleteItem(ghost.Get());
  EXPECT_EQ(Hex(hr), "0x80070490");
  text = TakeErrorText();
  EXPECT_NE(text.find("CDataTableWMTask::DeleteItem"), std::string::npos) << text;
  Set(ghost.Get(), u"SUBJECT", Variant::Str(u"x"));
  EXPECT_EQ(Hex(table_->UpdateItem(ghost.Get())), "0x80070490");
  EXPECT_NE(TakeErrorText().find("CDataTableWMTask::UpdateItem"), std::string::npos);

  // A failing add.
  emu_->Control(R"({"cmd":"fail","name":"DevCeAddTask","count":1,"hresult":"0x8007000E"})");
  SUID newId = static_cast<SUID>(12345);
  EXPECT_EQ(Hex(table_->CreateItem(ghost.Get(), &newId)), "0x8007000E");
  EXPECT_EQ(static_cast<int>(newId), 12345);
  EXPECT_NE(TakeErrorText().find("CDataTableWMTask::CreateItem"), std::string::npos);

  // A failing list: its HRESULT unchanged, and the count is 0.
  table_->ListItemsEnd();
  emu_->Control(R"({"cmd":"fail","name":"DevCeList","count":2,"hresult":"0x80070005"})");
  EXPECT_EQ(Hex(table_->ListItemsAllBegin()), "0x80070005");
  ULONG count = 9;
  EXPECT_EQ(Hex(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count)), "0x80070005");
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(SawLine("[CDataTableWMTask::GetAllEntryID]DevCeList hr=0x80070005"));
}

TEST_F(TasksE2E, AlarmTimesCrossDaylightSwitches) {
  // New York: daylight from 8 March 2026 07:00 UTC.
  wincompat::SetTimeZoneRuleForTesting("EST5EDT,M3.2.0,M11.1.0");
  Seed({Property::String("Subject", "before"), Property::Boolean("ReminderSet", 0xFFFF),
        Property::Date("ReminderTime", At(2026, 3, 8, 6, 30))});
  Seed({Property::String("Subject", "after"), Property::Boolean("ReminderSet", 0xFFFF),
        Property::Date("ReminderTime", At(2026, 3, 8, 7, 30))});
  auto items = ListAll();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(Date(items[0].Get(), u"ALARM_TIME"), At(2026, 3, 8, 1, 30));
  EXPECT_EQ(Date(items[1].Get(), u"ALARM_TIME"), At(2026, 3, 8, 3, 30));
  EXPECT_EQ(Text(items[1].Get(), u"ALARM_TYPE"), u"Time");

  // Berlin: an alarm set on either side of the October switch goes back in the right offset.
  wincompat::SetTimeZoneRuleForTesting("CET-1CEST,M3.5.0,M10.5.0/3");
  Set(items[0].Get(), u"ALARM_TIME", Variant::Date(At(2026, 10, 25, 2, 30)));
  ASSERT_EQ(table_->UpdateItem(items[0].Get()), S_OK);
  SUID id;
  items[0]->get_SUID(&id);
  EXPECT_EQ(StoredDate(Stored(static_cast<uint32_t>(id)), "ReminderTime"), At(2026, 10, 25, 0, 30));
  Set(items[1].Get(), u"ALARM_TIME", Variant::Date(At(2026, 10, 25, 3, 30)));
  ASSERT_EQ(table_->UpdateItem(items[1].Get()), S_OK);
  items[1]->get_SUID(&id);
  EXPECT_EQ(StoredDate(Stored(static_cast<uint32_t>(id)), "ReminderTime"), At(2026, 10, 25, 2, 30));
  EXPECT_EQ(Date(items[1].Get(), u"ALARM_TIME"), At(2026, 10, 25, 3, 30));
}

}  // namespace
