#include <gtest/gtest.h>

#include <thread>

#include "wincompat/comptr.h"

namespace {

constexpr GUID kGuid = {
    0x6FA1E685, 0xF669, 0x48B8, {0x83, 0xB7, 0x84, 0xFF, 0xB5, 0x26, 0x77, 0xCB}};

TEST(Guid, TextBothWays) {
  WCHAR buf[39];
  EXPECT_EQ(StringFromGUID2(kGuid, buf, 38), 0);  // no room for the NUL
  ASSERT_EQ(StringFromGUID2(kGuid, buf, 39), 39);
  EXPECT_EQ(std::u16string(buf), u"{6FA1E685-F669-48B8-83B7-84FFB52677CB}");
  CLSID c;
  ASSERT_EQ(CLSIDFromString(u"{6fa1e685-f669-48b8-83b7-84ffb52677cb}", &c), S_OK);
  EXPECT_EQ(c, kGuid);
  IID i;
  for (const char16_t* bad :
       {u"6FA1E685-F669-48B8-83B7-84FFB52677CB", u"{6FA1E685-F669-48B8-83B7-84FFB52677CG}"}) {
    EXPECT_EQ(IIDFromString(bad, &i), CO_E_IIDSTRING);
    EXPECT_EQ(i, GUID_NULL);
  }
  EXPECT_EQ(CLSIDFromString(u"{6FA1E685-F669-48B8-83B7-84FFB52677C}", &c), CO_E_CLASSSTRING);
}

TEST(ErrorInfo, CreateSetGetPerThread) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetGUID(kGuid);
  create->SetSource(const_cast<LPOLESTR>(u"CDataTableWMTask::NextItem"));
  create->SetDescription(const_cast<LPOLESTR>(u"it failed"));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo,
                                   reinterpret_cast<void**>(info.ReleaseAndGetAddressOf())),
            S_OK);
  create->Release();
  ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
  std::thread([] {  // another thread sees nothing
    IErrorInfo* other = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &other), S_FALSE);
    EXPECT_EQ(other, nullptr);
  })
      .join();

  IErrorInfo* got = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  ASSERT_EQ(got, info.Get());
  ComPtr<IErrorInfo> owned = ComPtr<IErrorInfo>::Attach(got);
  BStr source, description;
  GUID g;
  got->GetSource(source.Out());
  got->GetDescription(description.Out());
  got->GetGUID(&g);
  EXPECT_EQ(source.Str() + u"|" + description.Str(), u"CDataTableWMTask::NextItem|it failed");
  EXPECT_EQ(g, kGuid);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);  // taken: the slot is empty now
  EXPECT_EQ(got, nullptr);
}

}  // namespace
