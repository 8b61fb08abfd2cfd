// Automation: the table and item interfaces driven by name (the end-to-end test drives the
// device data object).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ItemWMTask.h"
#include "core/Log.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tests/core/TestEnv.h"

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

TEST(Dispatch, DataTableByName) {
  ComPtr<CDataTableWMBase> table(new CDataTableWMSchedule());
  IDispatch* disp = table->AsDataTable();
  Variant result;
  // A failing method's HRESULT comes back from Invoke as it is.
  EXPECT_EQ(E_NOTIMPL, Call(disp, 17, {Unknown(nullptr), Unknown(nullptr)}, result.Out()));
  // The first and the last method by name: no slot is lost or shifted in between.
  EXPECT_EQ(11, IdOf(disp, u"NewItem"));
  EXPECT_EQ(28, IdOf(disp, u"executemmscancel"));
}

TEST(Dispatch, ItemByName) {
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
}

}  // namespace
