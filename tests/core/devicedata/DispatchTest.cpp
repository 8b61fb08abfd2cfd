// Automation: every interface of the type library can be driven by name.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/DeviceDataWM.h"
#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "host/support/HostObjects.h"
#include "module/TypeLib.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tests/core/TestEnv.h"
#include "wincompat/dispatch.h"

namespace {

using namespace qwb;

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

DISPID IdOf(IDispatch* disp, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = -99;
  EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id)) << qwb::ToUtf8(name);
  return id;
}

HRESULT Call(IDispatch* disp, DISPID id, std::vector<VARIANT> reversedArgs, VARIANT* result,
             WORD flags = DISPATCH_METHOD) {
  DISPPARAMS params{reversedArgs.data(), nullptr, static_cast<UINT>(reversedArgs.size()), 0};
  return disp->Invoke(id, IID_NULL, 0x0409, flags, &params, result, nullptr, nullptr);
}

VARIANT Unknown(IUnknown* p) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = p;
  return v;
}

TEST(Dispatch, DeviceDataByName) {
  ComPtr<IDeviceData> dd;
  ASSERT_EQ(S_OK,
            CDeviceDataWM::CreateInstance(nullptr, IID_IDeviceData,
                                          reinterpret_cast<void**>(dd.ReleaseAndGetAddressOf())));
  auto connection = qwbhost::HostConnection::Create(u"C:");
  Variant result;

  // Names compare without case; arguments come last-first.
  EXPECT_EQ(5, IdOf(dd.Get(), u"SETCONNECITON"));
  ASSERT_EQ(S_OK, Call(dd.Get(), 5, {Unknown(nullptr), Unknown(connection.Get())}, result.Out()));
  EXPECT_EQ(static_cast<IHostConnection*>(connection.Get()),
            static_cast<CDeviceDataWM*>(dd.Get())->GetConnection());
  EXPECT_EQ(1, IdOf(dd.Get(), u"ListDataTable"));
  EXPECT_EQ(S_OK, Call(dd.Get(), 1, {}, result.Out()));
  EXPECT_EQ(9u, connection->Requests().size());

  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Progress")};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, dd->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
            dd->Invoke(1, IID_IDeviceData, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(dd.Get(), 3, {}, result.Out()));

  ComPtr<ITypeInfo> info;
  EXPECT_EQ(S_OK, dd->GetTypeInfo(0, 0, info.ReleaseAndGetAddressOf()));
  EXPECT_TRUE(info);
  EXPECT_EQ(DISP_E_BADINDEX, dd->GetTypeInfo(1, 0, info.ReleaseAndGetAddressOf()));
}

TEST(Dispatch, DataTableByName) {
  ComPtr<CDataTableWMBase> table(new CDataTableWMSchedule());
  IDispatch* disp = table->AsDataTable();
  Variant result;
  EXPECT_EQ(E_NOTIMPL, Call(disp, 17, {Unknown(nullptr), Unknown(nullptr)}, result.Out()));
  Variant text = Variant::Str(u"x");
  EXPECT_EQ(E_NOTIMPL, Call(disp, 25, {text.Get()}, result.Out()));
  EXPECT_EQ(VT_EMPTY, result.vt());
  // Every method by name, in dispid order from 11; names compare without case.
  std::istringstream names(
      "NewItem ListItemsAllBegin CreateItem UpdateItem DeleteItem ReadItem moveitem "
      "ListChildItemsBegin NextItem ListItemsEnd GetItemCount GetItem PutItem Execute "
      "GetProperty SetSyncStatus ListItemsAllBegin2 ExecuteMMSCancel");
  DISPID id = 11;
  for (std::string name; names >> name; ++id) EXPECT_EQ(id, IdOf(disp, FromUtf8(name).c_str()));
  EXPECT_EQ(29, id);
}

TEST(Dispatch, ItemAndColumnInfoByName) {
  ComPtr<CItemWMTask> item = MakeItem<CItemWMTask>();
  item->SetColumns(CItemWMTask::CreateColumns().Get());
  IDispatch* disp = item->AsItem();
  Variant result;
  // SetValue(1, "Call mum") with a VT_I4 index, read back through GetValue("1"): both indexes
  // are coerced to the unsigned column number.
  EXPECT_EQ(16, IdOf(disp, u"SetValue"));
  EXPECT_EQ(15, IdOf(disp, u"GetValue"));
  Variant text = Variant::Str(u"Call mum"), one = Variant::Str(u"1");
  ASSERT_EQ(S_OK, Call(disp, 16, {text.Get(), Variant::I4(1).Get()}, result.Out()));
  ASSERT_EQ(S_OK, Call(disp, 15, {one.Get()}, result.Out()));
  ASSERT_EQ(VT_BSTR, result.vt());
  EXPECT_EQ(u"Call mum", std::u16string(result.Get().bstrVal));
  // "SUID" is a property get.
  item->SetSUID(static_cast<SUID>(31));
  EXPECT_EQ(1, IdOf(disp, u"suid"));
  ASSERT_EQ(S_OK, Call(disp, 1, {}, result.Out(), DISPATCH_PROPERTYGET));
  EXPECT_EQ(VT_I4, result.vt());
  EXPECT_EQ(31, result.Get().lVal);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(disp, 1, {}, result.Out(), DISPATCH_METHOD));

  // No object implements IColumnInfo; its description is there for hosts.
  const wincompat::DispInterface& columnInfo = TypeInfoIColumnInfo();
  EXPECT_EQ(IID_IColumnInfo, *columnInfo.iid);
  const std::pair<const char16_t*, DISPID> ids[] = {{u"name", 1}, {u"TYPE", 2}, {u"test", 3}};
  for (const auto& [name, dispid] : ids) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(S_OK, wincompat::DispGetIDsOfNames(columnInfo, names, 1, &id));
    EXPECT_EQ(dispid, id);
  }
  EXPECT_EQ(DISPATCH_PROPERTYGET, columnInfo.methods[0].invokeKind);
  EXPECT_EQ(DISPATCH_METHOD, columnInfo.methods[2].invokeKind);
}

}  // namespace
