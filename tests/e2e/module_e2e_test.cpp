// The component end to end: registered in a private registry store, created through
// CoCreateInstance, connected to the host's objects and to an emulated phone over loopback,
// and every data table reached through the interfaces only.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/support/Component.h"
#include "host/support/EmulatedPhone.h"
#include "host/support/HostObjects.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"
#include "wincompat/rapi_testhooks.h"

namespace {

namespace fs = std::filesystem;

class ComponentE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "qwbdcawm-e2e-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    folder_ = pattern;
    setenv("QWBDCAWM_REGISTRY", (folder_ / "registry.reg").c_str(), 1);
    CoInitialize(nullptr);
    ASSERT_EQ(S_OK, qwbhost::EnsureComponentRegistered());
  }
  static void TearDownTestSuite() {
    CoUninitialize();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  static fs::path folder_;
  qwbhost::EmulatedPhone phone_{"demo", "Aster W1"};
};
fs::path ComponentE2E::folder_;

constexpr DATATABLE_SUID kServed[] = {DTID_PHONEBOOK, DTID_CALENDAR, DTID_MESSAGE,
                                      DTID_FILE,      DTID_TASK,     DTID_METADATA,
                                      DTID_SIM,       DTID_MMS,      DTID_VOICEMEMO};

TEST_F(ComponentE2E, ReachesEveryTableThroughTheInterfaces) {
  ComPtr<IDeviceData> dd;
  ASSERT_EQ(S_OK, qwbhost::CreateDeviceData(std::addressof(dd)));
  auto connection = qwbhost::HostConnection::Create(u"C:");
  auto modelDB = qwbhost::HostModelDB::Create();
  ASSERT_EQ(S_OK, dd->SetConneciton(connection.Get(), modelDB->AsUnknown()));

  // Before ListDataTable a served table is S_OK and null.
  ComPtr<IDataTable> table;
  ASSERT_EQ(S_OK, dd->GetDataTable(DTID_TASK, table.ReleaseAndGetAddressOf()));
  EXPECT_FALSE(table);

  ASSERT_EQ(S_OK, dd->ListDataTable());
  EXPECT_EQ(9u, connection->Requests().size());

  std::vector<ComPtr<IDataTable>> tables;
  for (DATATABLE_SUID id : kServed) {
    SCOPED_TRACE(id);
    ASSERT_EQ(S_OK, dd->GetDataTable(id, table.ReleaseAndGetAddressOf()));
    ASSERT_TRUE(table);
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(S_OK, table.As(std::addressof(sei)));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IDataTable));
    // No table moves, gets or puts items.
    EXPECT_EQ(E_NOTIMPL, table->MoveItem(nullptr, nullptr));
    BStr param(u"x");
    EXPECT_EQ(E_NOTIMPL, table->PutItem(param.Get(), nullptr));
    LPOLESTR name[] = {const_cast<LPOLESTR>(u"NextItem")};
    DISPID dispid = 0;
    EXPECT_EQ(S_OK, table->GetIDsOfNames(IID_NULL, name, 1, 0, &dispid));
    EXPECT_EQ(19, dispid);
    tables.push_back(table);
  }
  // Nine distinct objects, and the same ones when asked again.
  for (size_t i = 0; i < tables.size(); ++i) {
    for (size_t j = i + 1; j < tables.size(); ++j) EXPECT_NE(tables[i].Get(), tables[j].Get());
    ASSERT_EQ(S_OK, dd->GetDataTable(kServed[i], table.ReleaseAndGetAddressOf()));
    EXPECT_EQ(tables[i].Get(), table.Get());
  }

  // The task table talks to the phone.
  ULONG count = 0;
  EXPECT_EQ(S_OK, tables[4]->GetItemCount(nullptr, 0, DCADT_TASK, &count));
  EXPECT_GT(count, 0u);
  EXPECT_EQ(S_OK, tables[4]->ListItemsEnd());

  // GetDataTable by name through IDispatch.
  LPOLESTR name[] = {const_cast<LPOLESTR>(u"GetDataTable")};
  DISPID dispid = 0;
  ASSERT_EQ(S_OK, dd->GetIDsOfNames(IID_NULL, name, 1, 0, &dispid));
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = DTID_TASK;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Variant result;
  ASSERT_EQ(S_OK, dd->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, result.Out(), nullptr,
                             nullptr));
  ASSERT_EQ(VT_DISPATCH, result.vt());
  EXPECT_EQ(static_cast<IDispatch*>(tables[4].Get()), result.Get().pdispVal);
}

TEST_F(ComponentE2E, UnservedIdentifiersAndThePhonebookStream) {
  ComPtr<IDeviceData> dd;
  ASSERT_EQ(S_OK, qwbhost::CreateDeviceData(std::addressof(dd)));
  ComPtr<IDataTable> table;
  ASSERT_EQ(S_OK, dd->GetDataTable(DTID_FILE, table.ReleaseAndGetAddressOf()));
  for (int id : {int{DTID_MEMO}, int{DTID_DDAY}, int{DTID_SIM2}, int{DTID_TIMETABLE},
                 int{DTID_MYDIARY_ANYLOG}, int{DTID_MAX}, 40, -1}) {
    IDataTable* untouched = reinterpret_cast<IDataTable*>(0x4321);
    EXPECT_EQ(E_NOTIMPL, dd->GetDataTable(static_cast<DATATABLE_SUID>(id), &untouched)) << id;
    EXPECT_EQ(reinterpret_cast<IDataTable*>(0x4321), untouched);
  }

  wincompat::ResetRapiSyncCounts();
  for (DATATABLE_SUID id : kServed) {
    if (id != DTID_PHONEBOOK) dd->GetDataTable(id, table.ReleaseAndGetAddressOf());
  }
  EXPECT_EQ(0u, wincompat::GetRapiSyncCounts().invokes);
  ASSERT_EQ(S_OK, dd->GetDataTable(DTID_PHONEBOOK, table.ReleaseAndGetAddressOf()));
  EXPECT_EQ(1u, wincompat::GetRapiSyncCounts().invokes);
  EXPECT_EQ(0u, wincompat::GetRapiSyncCounts().invokesWithoutSyncStop);
}

TEST_F(ComponentE2E, ReleasingEverythingLetsTheModuleUnload) {
  void* library = dlopen(qwbhost::ComponentLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  {
    ComPtr<IDeviceData> dd;
    ASSERT_EQ(S_OK, qwbhost::CreateDeviceData(std::addressof(dd)));
    if (!library) library = dlopen(qwbhost::ComponentLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, library);
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
    auto connection = qwbhost::HostConnection::Create();
    ASSERT_EQ(S_OK, dd->SetConneciton(connection.Get(), nullptr));
    ASSERT_EQ(S_OK, dd->ListDataTable());
    ComPtr<IDataTable> table;
    ASSERT_EQ(S_OK, dd->GetDataTable(DTID_SIM, table.ReleaseAndGetAddressOf()));
    dd.Reset();
    // The host still holds a table: the module stays.
    EXPECT_EQ(S_FALSE, canUnload());
    table.Reset();
    EXPECT_EQ(S_OK, canUnload());
  }
  dlclose(library);
}

}  // namespace
