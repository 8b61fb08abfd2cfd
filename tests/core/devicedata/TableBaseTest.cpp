// The table base and the nine table classes: interface map, interlocked count, Initialize and
// the drive letter, column sets, and the methods no table implements.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "core/ColumnsWM.h"
#include "core/DataTableWMBase.h"
#include "core/ModuleCount.h"
#include "host/support/HostObjects.h"
#include "tables/contacts/DataTableWMPhonebook.h"
#include "tables/contacts/DataTableWMSIM.h"
#include "tables/files/DataTableWMFile.h"
#include "tables/messaging/DataTableWMMMS.h"
#include "tables/messaging/DataTableWMMessage.h"
#include "tables/metadata/DataTableWMMetadata.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/DataTableWMVoiceMemo.h"
#include "tests/core/devicedata/TestEnv.h"

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

IItem* const kItemSentinel = reinterpret_cast<IItem*>(0x5A5A);

TEST(TableBase, EveryTableAnswersItsInterfaceMap) {
  for (const TableKind& kind : AllTables()) {
    SCOPED_TRACE(kind.name);
    const LONG base = ModuleLockCount();
    ComPtr<CDataTableWMBase> table(kind.make());
    EXPECT_EQ(base + 1, ModuleLockCount());
    IDataTable* main = table->AsDataTable();
    void* p = nullptr;
    for (const IID* same : {&IID_IUnknown, &IID_IDispatch, &IID_IDataTable}) {
      ASSERT_EQ(S_OK, main->QueryInterface(*same, &p));
      EXPECT_EQ(p, static_cast<void*>(main));
      main->Release();
    }
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(S_OK, main->QueryInterface(IID_ISupportErrorInfo,
                                         reinterpret_cast<void**>(sei.ReleaseAndGetAddressOf())));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IDataTable));
    EXPECT_EQ(S_FALSE, sei->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(S_FALSE, sei->InterfaceSupportsErrorInfo(IID_IItem));
    // Back to the same identity from ISupportErrorInfo.
    ASSERT_EQ(S_OK, sei->QueryInterface(IID_IUnknown, &p));
    EXPECT_EQ(p, static_cast<void*>(main));
    main->Release();
    for (const IID* refused :
         {&IID_IItem, &IID_IDeviceData, &IID_IConnectionPointContainer, &IID_IProvideClassInfo}) {
      p = reinterpret_cast<void*>(1);
      EXPECT_EQ(E_NOINTERFACE, main->QueryInterface(*refused, &p));
      EXPECT_EQ(nullptr, p);
    }
    UINT count = 0;
    EXPECT_EQ(S_OK, main->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    sei.Reset();
    table.Reset();
    EXPECT_EQ(base, ModuleLockCount());
  }
}

TEST(TableBase, ReferenceCountIsInterlocked) {
  ComPtr<CDataTableWMBase> table(new CDataTableWMSchedule());
  auto hammer = [&] {
    for (int i = 0; i < 20000; ++i) {
      table->AddRef();
      table->Release();
    }
  };
  std::thread a(hammer), b(hammer), c(hammer);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(2u, table->AddRef());
  EXPECT_EQ(1u, table->Release());
}

TEST(TableBase, MethodsNoTableImplementsAnswerNotImplWithoutTouchingArguments) {
  for (const TableKind& kind : AllTables()) {
    SCOPED_TRACE(kind.name);
    ComPtr<CDataTableWMBase> table(kind.make());
    IDataTable* t = table->AsDataTable();
    BStr param(u"p");
    IItem* out = kItemSentinel;
    ULONG state = 77;
    EXPECT_EQ(E_NOTIMPL, t->MoveItem(nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, t->GetItem(param.Get(), nullptr, &out));
    EXPECT_EQ(kItemSentinel, out);
    EXPECT_EQ(E_NOTIMPL, t->PutItem(param.Get(), nullptr));
    EXPECT_EQ(E_NOTIMPL, t->ExecuteMMSCancel(param.Get(), nullptr, &state));
    EXPECT_EQ(77u, state);
  }
}

// The "-" entries of the method matrix, per table. The tables' own "yes" methods come with
// their tables' work; these stay E_NOTIMPL for good.
TEST(TableBase, MethodMatrixBlanksAnswerNotImpl) {
  struct Blanks {
    const char* name;
    std::function<CDataTableWMBase*()> make;
    bool childBegin, itemCount, create, update, del, read, execute, property, sync, begin2;
  };
  // ListChildItemsBegin, GetItemCount, CreateItem, UpdateItem, DeleteItem, ReadItem, Execute,
  // GetProperty, SetSyncStatus, ListItemsAllBegin2: true = the table has no such method.
  const Blanks rows[] = {
      {"Phonebook", [] { return new CDataTableWMPhonebook(); }, 1, 0, 0, 0, 0, 1, 1, 1, 0, 1},
      {"Schedule", [] { return new CDataTableWMSchedule(); }, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {"Task", [] { return new CDataTableWMTask(); }, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {"Message", [] { return new CDataTableWMMessage(); }, 1, 0, 0, 1, 1, 1, 0, 0, 1, 1},
      {"SIM", [] { return new CDataTableWMSIM(); }, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {"MMS", [] { return new CDataTableWMMMS(); }, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1},
      {"File", [] { return new CDataTableWMFile(); }, 0, 1, 0, 0, 0, 0, 1, 1, 1, 0},
      {"VoiceMemo", [] { return new CDataTableWMVoiceMemo(); }, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1},
  };
  for (const Blanks& row : rows) {
    SCOPED_TRACE(row.name);
    ComPtr<CDataTableWMBase> table(row.make());
    IDataTable* t = table->AsDataTable();
    BStr param(u"p");
    IItem* out = kItemSentinel;
    ULONG cnt = 99;
    SUID suid = static_cast<SUID>(42);
    BSTR value = reinterpret_cast<BSTR>(0x77);
    if (row.childBegin) {
      EXPECT_EQ(E_NOTIMPL, t->ListChildItemsBegin(nullptr));
    }
    if (row.itemCount) {
      EXPECT_EQ(E_NOTIMPL, t->GetItemCount(nullptr, 0, DCADT_ALL, &cnt));
      EXPECT_EQ(99u, cnt);
    }
    if (row.create) {
      EXPECT_EQ(E_NOTIMPL, t->CreateItem(nullptr, &suid));
      EXPECT_EQ(42, suid);
    }
    if (row.update) {
      EXPECT_EQ(E_NOTIMPL, t->UpdateItem(nullptr));
    }
    if (row.del) {
      EXPECT_EQ(E_NOTIMPL, t->DeleteItem(nullptr));
    }
    if (row.read) {
      EXPECT_EQ(E_NOTIMPL, t->ReadItem(nullptr));
    }
    if (row.execute) {
      EXPECT_EQ(E_NOTIMPL, t->Execute(param.Get(), nullptr, &out));
      EXPECT_EQ(kItemSentinel, out);
    }
    if (row.property) {
      EXPECT_EQ(E_NOTIMPL, t->GetProperty(param.Get(), &value));
      EXPECT_EQ(reinterpret_cast<BSTR>(0x77), value);
    }
    if (row.sync) {
      EXPECT_EQ(E_NOTIMPL, t->SetSyncStatus(DCASS_END));
    }
    if (row.begin2) {
      EXPECT_EQ(E_NOTIMPL, t->ListItemsAllBegin2());
    }
  }

  // The metadata table serves GetProperty only.
  ComPtr<CDataTableWMBase> metadata(new CDataTableWMMetadata());
  IDataTable* t = metadata->AsDataTable();
  BStr param(u"p");
  IItem* out = kItemSentinel;
  ULONG cnt = 99;
  SUID suid = static_cast<SUID>(42);
  EXPECT_EQ(E_NOTIMPL, t->ListItemsAllBegin());
  EXPECT_EQ(E_NOTIMPL, t->ListChildItemsBegin(nullptr));
  EXPECT_EQ(E_NOTIMPL, t->NextItem(&out));
  EXPECT_EQ(E_NOTIMPL, t->ListItemsEnd());
  EXPECT_EQ(E_NOTIMPL, t->GetItemCount(nullptr, 1, DCADT_ALL, &cnt));
  EXPECT_EQ(E_NOTIMPL, t->NewItem(DCADT_METADATA, SUID_NULL, SUID_NULL, &out));
  EXPECT_EQ(E_NOTIMPL, t->CreateItem(nullptr, &suid));
  EXPECT_EQ(E_NOTIMPL, t->UpdateItem(nullptr));
  EXPECT_EQ(E_NOTIMPL, t->DeleteItem(nullptr));
  EXPECT_EQ(E_NOTIMPL, t->ReadItem(nullptr));
  EXPECT_EQ(E_NOTIMPL, t->Execute(param.Get(), nullptr, &out));
  EXPECT_EQ(E_NOTIMPL, t->SetSyncStatus(DCASS_START));
  EXPECT_EQ(E_NOTIMPL, t->ListItemsAllBegin2());
  EXPECT_EQ(kItemSentinel, out);
  EXPECT_EQ(99u, cnt);
  EXPECT_EQ(42, suid);
}

TEST(TableBase, ConstructorsBuildTheColumnSetsOfTheirItemTypes) {
  auto count = [](CColumnsWM* columns) { return columns ? columns->GetCount() : 0u; };
  struct Expect {
    const char* name;
    std::function<CDataTableWMBase*()> make;
    ULONG columns, columns2;
  };
  const Expect rows[] = {
      {"Phonebook", [] { return new CDataTableWMPhonebook(); }, 168, 23},
      {"Schedule", [] { return new CDataTableWMSchedule(); }, 29, 0},
      {"Message", [] { return new CDataTableWMMessage(); }, 14, 0},
      {"Metadata", [] { return new CDataTableWMMetadata(); }, 0, 0},
      {"SIM", [] { return new CDataTableWMSIM(); }, 20, 0},
      {"MMS", [] { return new CDataTableWMMMS(); }, 33, 0},
      {"VoiceMemo", [] { return new CDataTableWMVoiceMemo(); }, 6, 0},
  };
  for (const Expect& row : rows) {
    SCOPED_TRACE(row.name);
    ComPtr<CDataTableWMBase> table(row.make());
    EXPECT_EQ(row.columns, count(table->GetColumns()));
    EXPECT_EQ(row.columns2, count(table->GetColumns2()));
    EXPECT_EQ(row.columns2 == 0, table->GetColumns2() == nullptr);
  }
  ComPtr<CDataTableWMFile> file(new CDataTableWMFile());
  EXPECT_EQ(nullptr, file->GetColumns());
  EXPECT_EQ(nullptr, file->GetColumns2());
  EXPECT_EQ(22u, count(file->GetFileInfoColumns()));
  EXPECT_EQ(16u, count(file->GetFolderColumns()));
  EXPECT_EQ(14u, count(file->GetFileColumns()));
  ULONG ordinal = 0;
  EXPECT_TRUE(file->GetFileColumns()->FindOrdinal(u"FileSize", &ordinal));
  EXPECT_TRUE(file->GetFileInfoColumns()->FindOrdinal(u"PacketSize", &ordinal));
  EXPECT_FALSE(file->GetFolderColumns()->FindOrdinal(u"FileSize", &ordinal));
}

TEST(TableBase, InitializeKeepsTheOwnerConnectionAndDriveLetter) {
  qwbtest::DebugLines debug;
  auto owner = reinterpret_cast<CDeviceDataWM*>(0x1000);
  struct Case {
    std::u16string drive;
    WCHAR letter;
  };
  for (const Case& c : {Case{u"C:", u'C'}, Case{u"", 0}, Case{u"d:\\", u'd'}}) {
    ComPtr<CDataTableWMBase> table(new CDataTableWMSchedule());
    auto connection = HostConnection::Create(c.drive);
    table->Initialize(owner, connection.Get());
    EXPECT_EQ(c.letter, table->GetDriveLetter());
    EXPECT_EQ(owner, table->GetDeviceData());
    EXPECT_EQ(static_cast<IHostConnection*>(connection.Get()), table->GetConnection());
    EXPECT_EQ(std::vector<std::u16string>{u"DRIVE"}, connection->Requests());
  }
  std::vector<std::string> lines = debug.Take();
  ASSERT_EQ(3u, lines.size());
  for (const std::string& line : lines) EXPECT_EQ("[QWBDCAWM]CDataTableWMBase::Initialize\n", line);

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

  // A connection given to Initialize is released with the table.
  auto held = HostConnection::Create(u"E:");
  const ULONG before = held->AddRef() - 1;
  held->Release();
  {
    ComPtr<CDataTableWMBase> t(new CDataTableWMMessage());
    t->Initialize(owner, held.Get());
    EXPECT_EQ(before + 1, held->AddRef() - 1);
    held->Release();
  }
  EXPECT_EQ(before, held->AddRef() - 1);
  held->Release();
}

}  // namespace
