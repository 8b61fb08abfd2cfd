// The base of an end-to-end suite of one table: the suite's phone (served in this process,
// the component registered beside it), a host per test, the table under test and listings
// through it, and the emulator's record stores seeded and read directly.
//
//   class TaskE2E : public qwbtest::TableE2E<TaskE2E> {
//     static void SetUpTestSuite() { StartPhone("empty", "Aster W1"); }
//     void SetUp() override { table_ = host_.Connect(DTID_TASK); }
//   };
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "emulator/RecordStore.h"
#include "link/DeviceRecord.h"
#include "tests/support/ComponentHost.h"
#include "tests/support/ItemAccess.h"

namespace qwbtest {

using Props = std::vector<devrec::Property>;

// Suite: the deriving fixture (each suite has a phone of its own); Base: ::testing::Test or
// a ::testing::TestWithParam.
template <class Suite, class Base = ::testing::Test>
class TableE2E : public Base {
 protected:
  static void StartPhone(const std::string& preset, const std::string& model) {
    phone_ = StartSuitePhone(preset, model);
  }
  static void TearDownTestSuite() { phone_.reset(); }
  static wmemu::Emulator& Emu() { return phone_->emulator(); }

  // The record store of `kind` (1 contacts, 2 appointments, 3 tasks, 0x102 lunar ones).
  static wmemu::RecordStore Records(uint32_t kind) { return wmemu::RecordStore(Emu().image(), kind); }
  static void ClearRecords(uint32_t kind) {
    for (uint32_t id : Records(kind).List()) Records(kind).Delete(id);
  }
  // A record of `props` in store `kind`, the properties typed as the record type `typeKind`
  // has them (the store's own kind by default).
  static uint32_t SeedRecord(uint32_t kind, const Props& props, uint32_t typeKind = 0) {
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back(wmemu::RecordStore::Raw(typeKind ? typeKind : kind, p));
    return Records(kind).Add(raw);
  }
  static Props StoredRecord(uint32_t kind, SUID id) {
    return Records(kind).Get(static_cast<uint32_t>(id)).value_or(Props{});
  }
  static const devrec::Property* FindProperty(const Props& props, const char* name) {
    auto it = std::find_if(props.begin(), props.end(), [&](auto& p) { return p.name == name; });
    return it == props.end() ? nullptr : &*it;
  }

  // The next item of the listing under way (null at its end), the call answering `want`.
  ComPtr<IItem> Next(HRESULT want = S_OK) {
    ComPtr<IItem> item;
    EXPECT_EQ(table_->NextItem(item.ReleaseAndGetAddressOf()), want);
    return item;
  }
  // Every item of a listing; `begin` false continues the one already started.
  std::vector<ComPtr<IItem>> ListAll(bool begin = true) {
    EXPECT_TRUE(!begin || table_->ListItemsAllBegin() == S_OK);
    std::vector<ComPtr<IItem>> items;
    while (ComPtr<IItem> item = Next()) items.push_back(item);
    return items;
  }
  static std::vector<SUID> Ids(const std::vector<ComPtr<IItem>>& items) {
    std::vector<SUID> ids;
    for (const auto& item : items) ids.push_back(IdOf(item.Get()));
    return ids;
  }
  ComPtr<IItem> NewItem(DCADATATYPE type) {
    ComPtr<IItem> item;
    EXPECT_EQ(table_->NewItem(type, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
    return item;
  }

  bool SawLine(const std::string& line) { return host_.SawLine(line); }
  int CountLines(const std::string& line) { return host_.CountLines(line); }
  std::vector<std::string> Lines() { return host_.Lines(); }
  void ClearLines() { host_.ClearLines(); }

  static inline std::unique_ptr<qwbhost::EmulatedPhone> phone_;
  ComponentHost host_;
  ComPtr<IDataTable> table_;
};

}  // namespace qwbtest
