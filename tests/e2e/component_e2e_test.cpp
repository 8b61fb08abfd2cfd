// The component end to end: host -> CoCreateInstance -> component -> librapi -> RAPI2 ->
// in-process emulator. Tasks are seeded and checked in the emulator's store directly.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/RecordStore.h"
#include "host/Component.h"
#include "tests/support/TableE2E.h"
#include "host/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/module/HandDeclaredHost.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbtest;

using devrec::Property;
using V = Variant;

class ComponentE2E : public TableE2E<ComponentE2E> {
 protected:
  static constexpr uint32_t kTasks = 3;
  static void SetUpTestSuite() { StartPhone("empty", "Aster W1"); }

  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    ClearStore();
    table_ = host_.Connect(DTID_TASK);
    ASSERT_TRUE(table_);
    host_.ClearLines();
  }
  void TearDown() override { wincompat::SetTimeZoneRuleForTesting(""); }

  static void ClearStore() { ClearRecords(kTasks); }
  static uint32_t Seed(const Props& props) { return SeedRecord(kTasks, props); }
  static Props Stored(SUID id) { return StoredRecord(kTasks, id); }
  static const Property* Find(const Props& props, const char* name) {
    return FindProperty(props, name);
  }
  // Each property is stored with exactly these bytes.
  static void ExpectStored(SUID id, const Props& want) {
    Props stored = Stored(id);
    for (const Property& w : want) {
      const Property* p = Find(stored, w.name.c_str());
      EXPECT_EQ(p ? p->value : std::vector<uint8_t>{}, w.value) << w.name;
    }
  }

  ULONG Count() {
    ULONG count = 12345;
    EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), S_OK);
    return count;
  }
};

TEST_F(ComponentE2E, ReachesEveryTableThroughTheInterfaces) {
  // The fixture's object came from CoCreateInstance; the module stays while a table is held.
  void* library = dlopen(qwbhost::ComponentLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, library);
  auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
  std::vector<ComPtr<IDataTable>> tables;
  LPOLESTR name[] = {const_cast<LPOLESTR>(u"NextItem")};
  for (DATATABLE_SUID id : {DTID_PHONEBOOK, DTID_CALENDAR, DTID_MESSAGE, DTID_FILE, DTID_TASK,
                            DTID_METADATA, DTID_SIM, DTID_MMS, DTID_VOICEMEMO}) {
    tables.emplace_back();
    ASSERT_EQ(S_OK, host_.device()->GetDataTable(id, tables.back().ReleaseAndGetAddressOf())) << id;
    ASSERT_TRUE(tables.back()) << id;
    DISPID dispid = 0;
    EXPECT_EQ(S_OK, tables.back()->GetIDsOfNames(IID_NULL, name, 1, 0, &dispid)) << id;
    EXPECT_EQ(19, dispid) << id;
  }
  table_ = nullptr;
  host_.Release();
  EXPECT_EQ(S_FALSE, canUnload());
  tables.clear();
  EXPECT_EQ(S_OK, canUnload());
  dlclose(library);
}

TEST_F(ComponentE2E, ReadsSeededTasksWithTheirMappingEdges) {
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
  Props monthly = {Property::Boolean("IsRecurring", 0xFFFF),
                   Property::Integer("RecurrPattern.RecurrenceType", 3),
                   Property::Integer("RecurrPattern.DayOfWeekMask", 4),
                   Property::Integer("RecurrPattern.Instance", 2),
                   Property::Integer("RecurrPattern.Occurrences", 6)};
  uint32_t c = Seed(monthly);

  // The count starts a listing of its own; after its end, still a null item and S_OK.
  EXPECT_EQ(Count(), 3u);
  std::vector<ComPtr<IItem>> items = ListAll(false);
  EXPECT_FALSE(Next());
  ASSERT_EQ(Ids(items), (std::vector<SUID>{SUID(a), SUID(b), SUID(c)}));

  // Complete 1 is not done.
  ExpectColumns(items[0].Get(), {{u"START_DATE", V()},
                                 {u"END_DATE", V()},
                                 {u"PRIORITY", V::Str(u"Low")},
                                 {u"DONE_STATE", V::Str(u"Undone")},
                                 {u"SENSITIVITY", V::Str(u"Personal")},
                                 {u"RECURRENCE_EXPIRE_DATE", V::Null()}});
  ExpectColumns(items[1].Get(), {{u"DONE_STATE", V::Str(u"Done")},
                                 {u"START_DATE", V::Date(At(2026, 1, 5))},
                                 {u"RECURRENCE_TYPE", V::I4(2)},
                                 {u"RECURRENCE_FLAG", V::I4(10)},
                                 {u"RECURRENCE_EVERY", V::I4(2)},
                                 {u"RECURRENCE_EXPIRE_TYPE", V::I4(2)}});
  ExpectColumns(items[2].Get(), {{u"RECURRENCE_TYPE", V::I4(4)},
                                 {u"RECURRENCE_FLAG", V::I4(260)},
                                 {u"RECURRENCE_EXPIRE_TYPE", V::I4(1)},
                                 {u"RECURRENCE_EXPIRE_VALUE", V::I4(6)}});

  // Written back unchanged, the monthly task keeps mask 4 and instance 2 on the phone.
  ASSERT_EQ(table_->UpdateItem(items[2].Get()), S_OK);
  ExpectStored(SUID(c), monthly);
  EXPECT_TRUE(SawLine("[CDataTableWMTask::UpdateItem]DevCeReplaceTask hr=0x0"));
}

TEST_F(ComponentE2E, TaskListingRules) {
  // Never listed: E_FAIL and a null item.
  ComPtr<IItem> item;
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_FALSE(item);

  // An empty phone: a listing with nothing in it.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_EQ(Count(), 0u);
  EXPECT_FALSE(Next());

  SUID one = SUID(Seed({Property::String("Subject", "one")}));
  SUID two = SUID(Seed({Property::String("Subject", "two")}));
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_EQ(IdOf(Next().Get()), one);
  // A task added during the listing is not part of it; a new begin restarts it.
  Seed({Property::String("Subject", "three")});
  EXPECT_EQ(IdOf(Next().Get()), two);
  EXPECT_FALSE(Next());
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_EQ(IdOf(Next().Get()), one);
  EXPECT_EQ(Count(), 3u);
  EXPECT_EQ(table_->ListItemsEnd(), S_OK);

  // A task created during a listing raises the count but is not listed; on an empty listing
  // the count without ids answers S_FALSE.
  ComPtr<IItem> fresh;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, fresh.ReleaseAndGetAddressOf()),
            S_OK);
  Set(fresh.Get(), u"SUBJECT", V::Str(u"four"));
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  EXPECT_TRUE(Next());
  SUID created = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(fresh.Get(), &created), S_OK);
  EXPECT_EQ(Count(), 4u);
  auto rest = Ids(ListAll(false));
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), created), 0);
  ClearStore();
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ASSERT_EQ(table_->CreateItem(fresh.Get(), &created), S_OK);
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), S_FALSE);
  EXPECT_FALSE(item);
}

TEST_F(ComponentE2E, TaskCreateUpdateDeleteWithReRead) {
  wincompat::SetTimeZoneRuleForTesting("CET-1CEST,M3.5.0,M10.5.0/3");
  ComPtr<IItem> item;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(Get(item.Get(), u"SUBJECT").vt(), VT_EMPTY);
  Set(item.Get(), u"SUBJECT", V::Str(u"Renew passport"));
  Set(item.Get(), u"START_DATE", V::Date(At(2026, 5, 10, 13, 0)));
  Set(item.Get(), u"END_DATE", V::Date(At(2026, 5, 2)));  // before the start
  Set(item.Get(), u"PRIORITY", V::Str(u"low"));
  Set(item.Get(), u"DONE_STATE", V::Str(u"Done"));
  Set(item.Get(), u"ALARM_TYPE", V::Str(u"Time"));
  Set(item.Get(), u"ALARM_TIME", V::Date(At(2026, 5, 9, 18, 30, 45)));
  Set(item.Get(), u"RECURRENCE_TYPE", V::Str(u"1"));  // converted to VT_I4 on the way
  Set(item.Get(), u"RECURRENCE_FLAG", V::I4(1));
  Set(item.Get(), u"RECURRENCE_EXPIRE_TYPE", V::I4(2));

  ULONG before = Count();
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  ASSERT_GT(id, 0);
  EXPECT_EQ(IdOf(item.Get()), id);
  EXPECT_EQ(Count(), before + 1);

  // What the phone stored (Complete sent as 1, kept as true; CEST is UTC+2), and the item
  // shows the values read back.
  ExpectStored(id, {Property::Date("StartDate", At(2026, 5, 10)),
                    Property::Date("DueDate", At(2026, 5, 10)), Property::Integer("Importance", 2),
                    Property::Boolean("Complete", 0xFFFF), Property::Boolean("ReminderSet", 0xFFFF),
                    Property::Date("ReminderTime", At(2026, 5, 9, 16, 30)),
                    Property::Integer("RecurrPattern.DayOfWeekMask", 62),
                    Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)});
  ExpectColumns(item.Get(), {{u"START_DATE", V::Date(At(2026, 5, 10))},
                             {u"END_DATE", V::Date(At(2026, 5, 10))},
                             {u"PRIORITY", V::Str(u"Normal")},
                             {u"DONE_STATE", V::Str(u"Done")},
                             {u"ALARM_TIME", V::Date(At(2026, 5, 9, 18, 30))},
                             {u"RECURRENCE_TYPE", V::I4(1)},
                             {u"RECURRENCE_FLAG", V::I4(1)}});
  EXPECT_TRUE(SawLine("[CDataTableWMTask::CreateItem]DevCeGet hr=0x0"));

  // Update: the whole record is replaced.
  Set(item.Get(), u"SUBJECT", V::Str(u"Renew passport and ID"));
  Set(item.Get(), u"PRIORITY", V::Str(u"High"));
  Set(item.Get(), u"RECURRENCE_TYPE", V::I4(0));
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  ExpectStored(
      id, {Property::String("Subject", "Renew passport and ID"), Property::Integer("Importance", 1),
           Property::Integer("RecurrPattern.RecurrenceType", -1)});
  EXPECT_EQ(Find(Stored(id), "IsRecurring"), nullptr);
  ExpectColumns(item.Get(), {{u"RECURRENCE_TYPE", V::I4(0)}});
  EXPECT_EQ(Count(), before + 1);

  ASSERT_EQ(table_->DeleteItem(item.Get()), S_OK);
  EXPECT_TRUE(Stored(id).empty());
  EXPECT_EQ(ListAll().size(), 0u);
}

TEST_F(ComponentE2E, TaskDeviceFailuresReachTheHostWithErrorInformation) {
  uint32_t id = Seed({Property::String("Subject", "one")});

  // A failing DevCeGet: the HRESULT with error information naming the method and the file,
  // and the failed record is not passed over.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  Emu().Control(R"({"cmd":"fail","name":"DevCeGet","count":1,"hresult":"0x80004005"})");
  ComPtr<IItem> item;
  EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_FALSE(item);
  std::string text = TakeErrorText();
  EXPECT_NE(text.find("CDataTableWMTask::NextItem"), std::string::npos) << text;
  EXPECT_NE(text.find("DataTableWMTask.cpp"), std::string::npos) << text;
  EXPECT_TRUE(SawLine("[CDataTableWMTask::NextItem]DevCeGet hr=0x80004005"));
  EXPECT_TRUE(Next());

  // An unknown id: the phone's HRESULT, unchanged.
  ComPtr<IItem> ghost;
  ASSERT_EQ(table_->NewItem(DCADT_TASK, static_cast<SUID>(id + 1000), SUID_NULL,
                            ghost.ReleaseAndGetAddressOf()),
            S_OK);
  EXPECT_EQ(table_->DeleteItem(ghost.Get()), HRESULT_FROM_WIN32(1168));
  EXPECT_NE(TakeErrorText().find("CDataTableWMTask::DeleteItem"), std::string::npos);
  Set(ghost.Get(), u"SUBJECT", V::Str(u"x"));
  EXPECT_EQ(table_->UpdateItem(ghost.Get()), HRESULT_FROM_WIN32(1168));
  EXPECT_NE(TakeErrorText().find("CDataTableWMTask::UpdateItem"), std::string::npos);

  // A failing add leaves the out-id alone.
  Emu().Control(R"({"cmd":"fail","name":"DevCeAddTask","count":1,"hresult":"0x8007000E"})");
  SUID newId = static_cast<SUID>(12345);
  EXPECT_EQ(table_->CreateItem(ghost.Get(), &newId), E_OUTOFMEMORY);
  EXPECT_EQ(static_cast<int>(newId), 12345);
  EXPECT_NE(TakeErrorText().find("CDataTableWMTask::CreateItem"), std::string::npos);

  // A failing list: its HRESULT unchanged, and the count is 0.
  table_->ListItemsEnd();
  Emu().Control(R"({"cmd":"fail","name":"DevCeList","count":2,"hresult":"0x80070005"})");
  EXPECT_EQ(table_->ListItemsAllBegin(), E_ACCESSDENIED);
  ULONG count = 9;
  EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_TASK, &count), E_ACCESSDENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(SawLine("[CDataTableWMTask::GetAllEntryID]DevCeList hr=0x80070005"));
}

TEST_F(ComponentE2E, TaskAlarmTimesCrossDaylightSwitches) {
  // New York: daylight from 8 March 2026 07:00 UTC.
  wincompat::SetTimeZoneRuleForTesting("EST5EDT,M3.2.0,M11.1.0");
  Seed({Property::String("Subject", "before"), Property::Boolean("ReminderSet", 0xFFFF),
        Property::Date("ReminderTime", At(2026, 3, 8, 6, 30))});
  Seed({Property::String("Subject", "after"), Property::Boolean("ReminderSet", 0xFFFF),
        Property::Date("ReminderTime", At(2026, 3, 8, 7, 30))});
  auto items = ListAll();
  ASSERT_EQ(items.size(), 2u);
  ExpectColumns(items[0].Get(), {{u"ALARM_TIME", V::Date(At(2026, 3, 8, 1, 30))}});
  ExpectColumns(items[1].Get(), {{u"ALARM_TIME", V::Date(At(2026, 3, 8, 3, 30))},
                                 {u"ALARM_TYPE", V::Str(u"Time")}});

  // Berlin: an alarm set on either side of the October switch goes back in the right offset.
  wincompat::SetTimeZoneRuleForTesting("CET-1CEST,M3.5.0,M10.5.0/3");
  const DATE local[] = {At(2026, 10, 25, 2, 30), At(2026, 10, 25, 3, 30)};
  const DATE utc[] = {At(2026, 10, 25, 0, 30), At(2026, 10, 25, 2, 30)};
  for (int i = 0; i < 2; ++i) {
    Set(items[i].Get(), u"ALARM_TIME", V::Date(local[i]));
    ASSERT_EQ(table_->UpdateItem(items[i].Get()), S_OK);
    ExpectStored(IdOf(items[i].Get()), {Property::Date("ReminderTime", utc[i])});
    ExpectColumns(items[i].Get(), {{u"ALARM_TIME", V::Date(local[i])}});
  }
}

TEST_F(ComponentE2E, AHostDeclaredFromTheSlotLayoutIsAskedForItsDrive) {
  // A host that knows only the connection's slot layout and its interface id: every table
  // asks it for "DRIVE" while ListDataTable creates them, and the tables then work.
  uint32_t id = Seed({Property::String("Subject", "hand host")});
  qwbtest::HandHostConnection connection(u"D:");
  ComPtr<IDeviceData> device;
  ASSERT_EQ(qwbhost::CreateDeviceData(std::addressof(device)), S_OK);
  ASSERT_EQ(device->SetConneciton(&connection, nullptr), S_OK);
  ASSERT_EQ(device->ListDataTable(), S_OK);
  EXPECT_EQ(connection.asked, std::vector<std::u16string>(9, u"DRIVE"));
  EXPECT_TRUE(connection.wrongSlots.empty());
  ComPtr<IDataTable> tasks;
  ASSERT_EQ(device->GetDataTable(DTID_TASK, tasks.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(tasks->ListItemsAllBegin(), S_OK);
  ComPtr<IItem> item;
  ASSERT_EQ(tasks->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(IdOf(item.Get()), SUID(id));
  item = nullptr;
  tasks = nullptr;
  device = nullptr;
  EXPECT_EQ(connection.Refs(), 1u);  // every table let go of it
}

}  // namespace
