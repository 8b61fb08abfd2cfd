// The calendar table end to end on a domestic and an international phone: host ->
// CoCreateInstance -> component -> librapi -> RAPI2 -> in-process emulator. Appointments are
// seeded and checked in the emulator's stores directly; the write requests of the ordinary and
// the lunar path are compared with bytes laid out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/AppointmentStore.h"
#include "emulator/RecordStore.h"
#include "emulator/ServiceRegistry.h"
#include "host/Component.h"
#include "tests/support/TableE2E.h"
#include "host/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbtest;

using devrec::Property;
using V = Variant;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kOrdinary = 2, kLunar = wmemu::kLunarStoreKind;

std::string Text(IItem* item, const char16_t* column) {
  Variant v = Get(item, column);
  return v.vt() == VT_BSTR ? Narrow(BStr(v.Get().bstrVal).Str()) : "<not text>";
}

// The request layout, word by word: little-endian 32-bit words, names and values padded to
// a multiple of 4.
struct Layout {
  Bytes b;
  Layout& Word(uint32_t w) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(w >> (8 * i)));
    return *this;
  }
  Layout& Field(const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    Word(static_cast<uint32_t>(n));
    b.insert(b.end(), c, c + n);
    b.resize(b.size() + (4 - n % 4) % 4, 0);
    return *this;
  }
  Layout& Name(const char* s) { return Field(s, std::strlen(s) + 1); }
  Layout& Str(const char* name, const char* v) { return Name(name).Field(v, std::strlen(v) + 1); }
  Layout& Date(const char* name, double d) { return Name(name).Field(&d, 8); }
  Layout& Int(const char* name, int32_t v) { return Name(name).Field(&v, 4); }
  Layout& Bool(const char* name, uint16_t v) { return Name(name).Field(&v, 2); }
};

class CalendarE2E : public TableE2E<CalendarE2E, ::testing::TestWithParam<const char*>> {
 protected:
  static void SetUpTestSuite() {
    StartPhone("empty", "Hanul HD-100");
    // Every write request is kept as it arrived.
    for (const char* name : {"DevCeAddAppointment", "DevCeReplaceAppointment", "DevCeAddLunarItem",
                             "DevCeReplaceLunarItem"}) {
      wmemu::BlockFunction real = Emu().services().FindBlock(std::u16string(name, name + std::strlen(name)));
      Emu().services().AddBlock(name, [real, name](wmemu::ServiceContext& c, const Bytes& in,
                                                   Bytes* out) {
        std::lock_guard<std::mutex> lock(requestsMu_);
        requests_.push_back({name, in});
        return real(c, in, out);
      });
    }
  }

  void SetUp() override {
    // Seoul: nine hours ahead of UTC.
    wincompat::SetTimeZoneRuleForTesting("KST-9");
    Emu().Control(R"({"cmd":"clear"})");
    Emu().registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName",
                               std::u16string(GetParam(), GetParam() + std::strlen(GetParam())));
    for (uint32_t kind : {kOrdinary, kLunar}) ClearRecords(kind);
    {
      std::lock_guard<std::mutex> lock(requestsMu_);
      requests_.clear();
    }
    table_ = host_.Connect(DTID_CALENDAR);
    ASSERT_TRUE(table_);
    host_.ClearLines();
  }
  void TearDown() override { wincompat::SetTimeZoneRuleForTesting(""); }

  bool Domestic() const { return std::string(GetParam()) == "Hanul HD-100"; }
  static wmemu::RecordStore Store(uint32_t kind) { return Records(kind); }
  // Appointments of either store have the appointment's property types.
  static uint32_t Seed(uint32_t kind, const Props& props) { return SeedRecord(kind, props, 2); }
  static Props Stored(uint32_t kind, SUID id) { return StoredRecord(kind, id); }
  static bool Has(const Props& props, const char* name) { return FindProperty(props, name); }
  // The calls made, in order, as their debug lines name them.
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const std::string& line : Lines()) {
      const size_t close = line.find(']'), hr = line.find(" hr=");
      if (close != std::string::npos && hr != std::string::npos)
        calls.push_back(line.substr(close + 1, hr - close - 1));
    }
    return calls;
  }
  static Bytes LastRequest(const std::string& name) {
    std::lock_guard<std::mutex> lock(requestsMu_);
    for (auto it = requests_.rbegin(); it != requests_.rend(); ++it)
      if (it->first == name) return it->second;
    return {};
  }

  ComPtr<IItem> NewAllDay(const char16_t* subject, DATE day, const char16_t* dateType) {
    ComPtr<IItem> item = NewItem(DCADT_SCHEDULE);
    Set(item.Get(), u"SUBJECT", V::Str(subject));
    Set(item.Get(), u"START_DATE", V::Date(day));
    Set(item.Get(), u"END_DATE", V::Date(day));
    Set(item.Get(), u"ISALLDAY", V::Str(u"TRUE"));
    Set(item.Get(), u"RECURRENCE_EXPIRE_TYPE", V::I4(3));
    Set(item.Get(), u"START_DATE_TYPE", V::Str(dateType));
    return item;
  }

  static inline std::mutex requestsMu_;
  static inline std::vector<std::pair<std::string, Bytes>> requests_;
};

Props AllDayRecord(const char* subject, double day, bool lunar) {
  Props p = {Property::String("Subject", subject), Property::Date("Start", day),
             Property::Date("End", day + 1), Property::Boolean("AllDayEvent", 0xFFFF)};
  if (lunar) p.push_back(Property::String("Lunar", "LUNAR"));
  return p;
}

TEST_P(CalendarE2E, ListsLunarEntriesFirst) {
  const uint32_t solar = Seed(kOrdinary, AllDayRecord("Dentist", 46145, false));
  const uint32_t leap = Seed(kLunar, AllDayRecord("Mother's birthday", 43974, true));
  const uint32_t lunar = Seed(kLunar, AllDayRecord("Chuseok", 43973, true));
  ULONG count = 0;
  ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_SCHEDULE, &count), S_OK);
  table_->ListItemsEnd();
  std::vector<ComPtr<IItem>> items = ListAll();
  std::vector<SUID> ids;
  for (auto& item : items) ids.push_back(IdOf(item.Get()));
  if (Domestic()) {
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(ids, (std::vector<SUID>{SUID(leap), SUID(lunar), SUID(solar)}));
    EXPECT_EQ(Text(items[0].Get(), u"START_DATE_TYPE"), "LEAP");  // 2020-05-23: leap 4th month
    EXPECT_EQ(Text(items[1].Get(), u"START_DATE_TYPE"), "LUNAR");
    EXPECT_EQ(Text(items[2].Get(), u"START_DATE_TYPE"), "SOLAR");
    EXPECT_EQ(Text(items[0].Get(), u"END_DATE_TYPE"), "SOLAR");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DevCeList", "DevCeGetLunarList", "DevCeList",
                                                 "DevCeGetLunarList", "DevCeGetLunarItem",
                                                 "DevCeGetLunarItem", "DevCeGet"}));
  } else {
    // No lunar call on an international phone: its entries are the ordinary ones.
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(ids, (std::vector<SUID>{SUID(solar)}));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DevCeList", "DevCeList", "DevCeGet"}));
  }
  EXPECT_EQ(Text(items.back().Get(), u"ISALLDAY"), "TRUE");
  EXPECT_EQ(Get(items.back().Get(), u"END_DATE").Get().date, 46145 + 1439.0 / 1440);
}

// The bytes of the two write paths, laid out by hand from the record layout: kind 2, the
// count, then each property's name and value, each padded to four bytes.
TEST_P(CalendarE2E, WriteRequestsByteForByte) {
  Layout solar;
  solar.Word(2).Word(9)
      .Str("Subject", "A")
      .Date("Start", 46145.0)
      .Date("End", 46146.0)
      .Bool("AllDayEvent", 0xFFFF)
      .Bool("ReminderSet", 0)
      .Int("RecurrPattern.RecurrenceType", -1)
      .Int("RecurrPattern.Interval", 1)
      .Int("ulSensitivity", 0)
      .Int("ulBusyStatus", 2);
  ASSERT_EQ(solar.b.size(), 8u + 20 + 24 + 20 + 24 + 24 + 44 + 36 + 28 + 28);
  Layout lunar = solar;
  lunar.b[4] = 10;
  lunar.Str("Lunar", "LUNAR");

  ComPtr<IItem> item = NewAllDay(u"A", 46145, u"SOLAR");
  SUID id = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  EXPECT_EQ(LastRequest("DevCeAddAppointment"), solar.b);

  item = NewAllDay(u"A", 46145, u"LUNAR");
  ASSERT_EQ(table_->CreateItem(item.Get(), &id), S_OK);
  // International phones keep "Lunar" on an ordinary appointment.
  EXPECT_EQ(LastRequest(Domestic() ? "DevCeAddLunarItem" : "DevCeAddAppointment"), lunar.b);
  EXPECT_TRUE(Has(Stored(Domestic() ? kLunar : kOrdinary, id), "Lunar"));

  // The replace request carries the entry id after the kind.
  ClearLines();
  ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
  Layout replaced;
  replaced.Word(2).Word(static_cast<uint32_t>(id));
  replaced.b.insert(replaced.b.end(), lunar.b.begin() + 4, lunar.b.end());
  EXPECT_EQ(LastRequest(Domestic() ? "DevCeReplaceLunarItem" : "DevCeReplaceAppointment"),
            replaced.b);
}

TEST_P(CalendarE2E, UpdatesAcrossSolarAndLunar) {
  ComPtr<IItem> item = NewAllDay(u"Grandmother's birthday", 43974, u"SOLAR");
  SUID first = SUID_NULL;
  ASSERT_EQ(table_->CreateItem(item.Get(), &first), S_OK);
  EXPECT_EQ(IdOf(item.Get()), first);
  EXPECT_EQ(Text(item.Get(), u"SENSITIVITY"), "Normal");  // read back from the phone

  struct Step {
    const char16_t* type;
    std::vector<std::string> domesticCalls;
    bool newId;
  } const steps[] = {
      {u"SOLAR", {"DevCeList", "DevCeGetLunarList", "DevCeReplaceAppointment", "DevCeGet"}, false},
      {u"LUNAR",
       {"DevCeList", "DevCeGetLunarList", "DevCeDelete", "DevCeAddLunarItem", "DevCeGetLunarItem"},
       true},
      {u"LEAP",
       {"DevCeList", "DevCeGetLunarList", "DevCeReplaceLunarItem", "DevCeGetLunarItem"},
       false},
      {u"SOLAR",
       {"DevCeList", "DevCeGetLunarList", "DevCeDeleteLunarItem", "DevCeAddAppointment",
        "DevCeGet"},
       true},
  };
  SUID id = first;
  for (const Step& step : steps) {
    SCOPED_TRACE(Narrow(step.type));
    Set(item.Get(), u"START_DATE_TYPE", V::Str(step.type));
    ClearLines();
    ASSERT_EQ(table_->UpdateItem(item.Get()), S_OK);
    const SUID now = IdOf(item.Get());
    if (Domestic()) {
      EXPECT_EQ(Calls(), step.domesticCalls);
      EXPECT_EQ(now != id, step.newId);
      const bool lunar = std::u16string(step.type) != u"SOLAR";
      EXPECT_EQ(Store(lunar ? kLunar : kOrdinary).Get(uint32_t(now)).has_value(), true);
      EXPECT_EQ(Store(lunar ? kOrdinary : kLunar).Get(uint32_t(id)).has_value(), false);
      // 2020-05-23 lies in the leap 4th month: a lunar entry reads back as "LEAP".
      EXPECT_EQ(Text(item.Get(), u"START_DATE_TYPE"), lunar ? "LEAP" : "SOLAR");
    } else {
      EXPECT_EQ(Calls(), (std::vector<std::string>{"DevCeReplaceAppointment", "DevCeGet"}));
      EXPECT_EQ(now, id);
    }
    id = now;
  }

  // Deleting goes to the store the item names.
  ASSERT_EQ(table_->DeleteItem(item.Get()), S_OK);
  EXPECT_TRUE(Store(kOrdinary).List().empty());
}

TEST_P(CalendarE2E, FailuresReachTheHostWithErrorInformation) {
  // An id in neither list fails a domestic update with the failure value 1.
  ComPtr<IItem> ghost = NewAllDay(u"ghost", 46145, u"SOLAR");
  ASSERT_EQ(table_->NewItem(DCADT_SCHEDULE, static_cast<SUID>(4242), SUID_NULL, ghost.ReleaseAndGetAddressOf()), S_OK);
  Set(ghost.Get(), u"SUBJECT", V::Str(u"ghost"));
  const HRESULT hr = table_->UpdateItem(ghost.Get());
  std::string text = TakeErrorText();
  EXPECT_NE(text.find("CDataTableWMSchedule::UpdateItem"), std::string::npos) << text;
  EXPECT_NE(text.find("DataTableWMSchedule.cpp"), std::string::npos) << text;
  if (!Domestic()) {
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(1168));  // the phone's "not found"
  }
  EXPECT_TRUE(FAILED(hr));

  // A failing add, on the path the item takes.
  Emu().Control(Domestic()
                    ? R"({"cmd":"fail","name":"DevCeAddLunarItem","count":1,"hresult":"0x8007000E"})"
                    : R"({"cmd":"fail","name":"DevCeAddAppointment","count":1,"hresult":"0x8007000E"})");
  ComPtr<IItem> item = NewAllDay(u"x", 46145, u"LUNAR");
  SUID id = static_cast<SUID>(777);
  EXPECT_EQ(table_->CreateItem(item.Get(), &id), E_OUTOFMEMORY);
  EXPECT_EQ(static_cast<int>(id), 777);
  EXPECT_NE(TakeErrorText().find("CDataTableWMSchedule::CreateItem"), std::string::npos);

  // A failing lunar list is no failure: no lunar entries.
  Seed(kLunar, AllDayRecord("Chuseok", 43973, true));
  Seed(kOrdinary, AllDayRecord("Dentist", 46145, false));
  Emu().Control(R"({"cmd":"fail","name":"DevCeGetLunarList","count":1,"hresult":"0x80004005"})");
  EXPECT_EQ(ListAll().size(), 1u);

  // A failing read during a listing.
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ComPtr<IItem> next;
  Emu().Control(Domestic()
                    ? R"({"cmd":"fail","name":"DevCeGetLunarItem","count":1,"hresult":"0x80004005"})"
                    : R"({"cmd":"fail","name":"DevCeGet","count":1,"hresult":"0x80004005"})");
  EXPECT_EQ(table_->NextItem(next.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_NE(TakeErrorText().find("CDataTableWMSchedule::NextItem"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Models, CalendarE2E, ::testing::Values("Hanul HD-100", "Aster W1"),
                         [](const auto& info) {
                           return std::string(info.param[0] == 'H' ? "Domestic" : "International");
                         });

}  // namespace
