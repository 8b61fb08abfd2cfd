// The table base and the nine table classes: interface map, module count, Initialize and the
// drive letter, and the methods no table implements.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/ColumnsWM.h"
#include "core/DataTableWMBase.h"
#include "core/ModuleCount.h"
#include "host/HostObjects.h"
#include "tables/contacts/DataTableWMPhonebook.h"
#include "tables/contacts/DataTableWMSIM.h"
#include "tables/files/DataTableWMFile.h"
#include "tables/messaging/DataTableWMMMS.h"
#include "tables/messaging/DataTableWMMessage.h"
#include "tables/metadata/DataTableWMMetadata.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/DataTableWMVoiceMemo.h"
#include "tests/core/TestEnv.h"

namespace {

using namespace qwb;
using qwbhost::HostConnection;

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

struct TableKind {
  const char* name;
  std::function<CDataTableWMBase*()> make;
};

const std::vector<TableKind>& AllTables() {
  static const std::vector<TableKind> kinds = {
      {"Phonebook", [] { return new CDataTableWMPhonebook(); }},
      {"Schedule", [] { return new CDataTableWMSchedule(); }},
      {"Task", [] { return new CDataTableWMTask(); }},
      {"Message", [] { return new CDataTableWMMessage(); }},
      {"Metadata", [] { return new CDataTableWMMetadata(); }},
      {"SIM", [] { return new CDataTableWMSIM(); }},
      {"MMS", [] { return new CDataTableWMMMS(); }},
      {"File", [] { return new CDataTableWMFile(); }},
      {"VoiceMemo", [] { return new CDataTableWMVoiceMemo(); }},
  };
  return kinds;
}

TEST(TableBase, EveryTableAnswersItsInterfaceMap) {
  for (const TableKind& kind : AllTables()) {
    SCOPED_TRACE(kind.name);
    const LONG base = ModuleLockCount();
    ComPtr<CDataTableWMBase> table(kind.make());
    EXPECT_EQ(base + 1, ModuleLockCount());
    qwbtest::ExpectInterfaceMap(
        table->AsDataTable(), {&IID_IUnknown, &IID_IDispatch, &IID_IDataTable}, IID_IDataTable,
        {&IID_IItem, &IID_IDeviceData, &IID_IConnectionPointContainer, &IID_IProvideClassInfo});
    table.Reset();
    EXPECT_EQ(base, ModuleLockCount());
  }
}

// MoveItem, GetItem, PutItem and ExecuteMMSCancel on every table, and the blanks of each
// table's method matrix, answer E_NOTIMPL and leave out-arguments alone.
TEST(TableBase, MethodsATableDoesNotHaveAnswerNotImpl) {
  IItem* const kItemSentinel = reinterpret_cast<IItem*>(0x5A5A);
  BStr param(u"p");
  IItem* out = kItemSentinel;
  ULONG cnt = 99;
  SUID suid = static_cast<SUID>(42);
  BSTR value = reinterpret_cast<BSTR>(0x77);
  const std::function<HRESULT(IDataTable*)> methods[] = {
      [&](IDataTable* t) { return t->ListChildItemsBegin(nullptr); },
      [&](IDataTable* t) { return t->GetItemCount(nullptr, 0, DCADT_ALL, &cnt); },
      [&](IDataTable* t) { return t->CreateItem(nullptr, &suid); },
      [&](IDataTable* t) { return t->UpdateItem(nullptr); },
      [&](IDataTable* t) { return t->DeleteItem(nullptr); },
      [&](IDataTable* t) { return t->ReadItem(nullptr); },
      [&](IDataTable* t) { return t->Execute(param.Get(), nullptr, &out); },
      [&](IDataTable* t) { return t->GetProperty(param.Get(), &value); },
      [&](IDataTable* t) { return t->SetSyncStatus(DCASS_END); },
      [&](IDataTable* t) { return t->ListItemsAllBegin2(); },
      [&](IDataTable* t) { return t->ListItemsAllBegin(); },
      [&](IDataTable* t) { return t->NextItem(&out); },
      [&](IDataTable* t) { return t->ListItemsEnd(); },
      [&](IDataTable* t) { return t->NewItem(DCADT_METADATA, SUID_NULL, SUID_NULL, &out); },
      [&](IDataTable* t) { return t->MoveItem(nullptr, nullptr); },
      [&](IDataTable* t) { return t->GetItem(param.Get(), nullptr, &out); },
      [&](IDataTable* t) { return t->PutItem(param.Get(), nullptr); },
      [&](IDataTable* t) { return t->ExecuteMMSCancel(param.Get(), nullptr, &cnt); },
  };
  // Per method above, in order, in AllTables() order: 1 = the table has no such method.
  const char* const blanks[] = {
      "100001110100001111", "100001111100001111", "100001111100001111", "100111001100001111",
      "111111101111111111",  // Metadata: GetProperty only
      "100001111100001111", "100000011100001111", "010000111000001111", "101111111100001111",
  };
  for (size_t k = 0; k < AllTables().size(); ++k) {
    SCOPED_TRACE(AllTables()[k].name);
    ComPtr<CDataTableWMBase> table(AllTables()[k].make());
    for (size_t i = 0; i < std::size(methods); ++i) {
      if (blanks[k][i] == '1') {
        EXPECT_EQ(E_NOTIMPL, methods[i](table->AsDataTable())) << "method " << i;
      }
    }
    EXPECT_EQ(kItemSentinel, out);
    EXPECT_EQ(99u, cnt);
    EXPECT_EQ(42, suid);
    EXPECT_EQ(reinterpret_cast<BSTR>(0x77), value);
  }
}

TEST(TableBase, InitializeKeepsTheOwnerConnectionAndDriveLetter) {
  qwbtest::DebugLines debug;
  auto owner = reinterpret_cast<CDeviceDataWM*>(0x1000);
  ComPtr<CDataTableWMBase> schedule(new CDataTableWMSchedule());
  auto connection = HostConnection::Create(u"d:\\");
  schedule->Initialize(owner, connection.Get());
  EXPECT_EQ(u'd', schedule->GetDriveLetter());
  EXPECT_EQ(owner, schedule->GetDeviceData());
  EXPECT_EQ(static_cast<IHostConnection*>(connection.Get()), schedule->GetConnection());
  EXPECT_EQ(std::vector<std::u16string>{u"DRIVE"}, connection->Requests());
  EXPECT_EQ(std::vector<std::string>{"[QWBDCAWM]CDataTableWMBase::Initialize\n"}, debug.Take());

  // No connection: drive letter 0, nothing asked, nothing raised.
  ComPtr<CDataTableWMBase> bare(new CDataTableWMVoiceMemo());
  EXPECT_NO_THROW(bare->Initialize(owner, nullptr));
  EXPECT_EQ(0, bare->GetDriveLetter());

  // A failing query raises a COM error carrying its HRESULT and IHostConnection.
  ComPtr<CDataTableWMBase> table(new CDataTableWMSIM());
  auto failing = HostConnection::Create(u"C:");
  failing->FailWith(HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED));
  try {
    table->Initialize(owner, failing.Get());
    ADD_FAILURE() << "no COM error";
  } catch (const _com_error& e) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED), e.Error());
    EXPECT_EQ(IID_IHostConnection, e.iid());
  }
  EXPECT_EQ(0, table->GetDriveLetter());
}

}  // namespace
