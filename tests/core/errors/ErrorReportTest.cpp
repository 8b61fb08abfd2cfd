// How a failed device operation reaches the host: the code mapping, the error information
// taken when raising, and what the table method frame makes of each failure. The end-to-end
// test covers the record posted through the outside error reporter.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "core/Errors.h"
#include "core/Log.h"
#include "core/MethodFrame.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/core/TestEnv.h"

namespace qwb {
namespace {

TEST(ErrorReportTest, WmErrorCodesBecomeFailureHResults) {
  struct Case {
    uint32_t code, expected;
  } cases[] = {
      {13, 0x8004000Du},          {1, 0x8007001Fu},           {0, 0x80040000u},
      {2, 0x80040002u},           {0xFFFF, 0x8004FFFFu},      {0x800704B1u, 0x800704B1u},
      {0x80004005u, 0x80004005u}, {0x80040001u, 0x8007001Fu}, {0x7FFFFFFFu, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(MapWmErrorCode(static_cast<HRESULT>(c.code))), c.expected)
        << std::hex << c.code;
  }
}

ComPtr<IErrorInfo> MakeErrorInfo(const char16_t* source) {
  ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.ReleaseAndGetAddressOf()), S_OK);
  std::u16string s(source);
  create->SetSource(s.data());
  ComPtr<IErrorInfo> info;
  create.QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf()));
  return info;
}

ComPtr<IErrorInfo> TakeErrorInfo() {
  IErrorInfo* p = nullptr;
  GetErrorInfo(0, &p);
  return ComPtr<IErrorInfo>::Attach(p);
}

std::u16string SourceOf(IErrorInfo* info) {
  BStr s;
  EXPECT_EQ(info->GetSource(s.Out()), S_OK);
  return s.Str();
}

std::u16string DescriptionOf(IErrorInfo* info) {
  BStr s;
  EXPECT_EQ(info->GetDescription(s.Out()), S_OK);
  return s.Str();
}

TEST(ErrorReportTest, WmErrorCarriesTheErrorInfoCurrentWhenRaised) {
  SetErrorInfo(0, nullptr);
  try {
    ThrowWmError(13);
  } catch (const _wm_error& e) {
    EXPECT_EQ(e.code(), 13);
    EXPECT_EQ(e.errorInfo(), nullptr);
  }

  ComPtr<IErrorInfo> device = MakeErrorInfo(u"device");
  SetErrorInfo(0, device.Get());
  try {
    ThrowWmError(static_cast<HRESULT>(0x800704B1u));
  } catch (const _wm_error& e) {
    EXPECT_EQ(e.code(), static_cast<HRESULT>(0x800704B1u));
    EXPECT_EQ(e.errorInfo(), device.Get());
  }
  // Raising leaves it in place for the report at the method boundary to chain.
  ComPtr<IErrorInfo> still = TakeErrorInfo();
  EXPECT_EQ(still.Get(), device.Get());
}

// A registry store of this test's own: the outside error reporter is not registered.
::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

// The record's method, file and line as the host reads them from the error information.
void ExpectRecord(IErrorInfo* info, const char16_t* method, const char16_t* file, int line) {
  EXPECT_EQ(SourceOf(info), method);
  const std::u16string text = DescriptionOf(info);
  EXPECT_NE(text.find(file), std::u16string::npos) << ToUtf8(text);
  EXPECT_NE(text.find(FromUtf8(std::to_string(line))), std::u16string::npos) << ToUtf8(text);
  GUID guid{};
  ASSERT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, IID_IDataTable);
}

TEST(MethodFrameTest, DeviceErrorsAreReportedAfterTheFailureHandler) {
  SetErrorInfo(0, nullptr);
  const int line = __LINE__;
  HRESULT hr = TableMethodFrame("CDataTableWMVoiceMemo::NextItem", ".\\DataTableWMVoiceMemo.cpp",
                                line, []() -> HRESULT { ThrowWmError(13); });
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x8004000Du);
  ComPtr<IErrorInfo> info = TakeErrorInfo();
  ASSERT_TRUE(info);
  ExpectRecord(info.Get(), u"CDataTableWMVoiceMemo::NextItem", u".\\DataTableWMVoiceMemo.cpp",
               line);

  // The handler runs first (it ends the listing) and gives the description; it is for device
  // failures only.
  bool listing = true;
  auto handler = [&] {
    listing = false;
    return std::u16string(u"m_nIndex=3, m_nTotal=3");
  };
  hr = TableMethodFrame(
      "M", "F", 7, []() -> HRESULT { ThrowWmError(ERROR_FILE_NOT_FOUND); }, handler);
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x80040002u);
  EXPECT_FALSE(listing);
  info = TakeErrorInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(DescriptionOf(info.Get()).rfind(u"m_nIndex=3, m_nTotal=3", 0), 0u);
  listing = true;
  EXPECT_EQ(E_ACCESSDENIED,
            TableMethodFrame(
                "M", "F", 7, []() -> HRESULT { ThrowHr(E_ACCESSDENIED); }, handler));
  EXPECT_TRUE(listing);
}

TEST(MethodFrameTest, OtherFailuresComeBackAsTheirHresultWithoutErrorInformation) {
  struct Case {
    const char* what;
    HRESULT (*body)();
    HRESULT expect;
  };
  const Case cases[] = {
      {"bare HRESULT", []() -> HRESULT { ThrowHr(static_cast<HRESULT>(0x800704B1)); },
       static_cast<HRESULT>(0x800704B1)},
      {"COM error", []() -> HRESULT { ThrowComError(E_ACCESSDENIED); }, E_ACCESSDENIED},
      {"ATL exception", []() -> HRESULT { ThrowAtl(E_INVALIDARG); }, E_INVALIDARG},
      {"out of memory", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY},
      {"anything else", []() -> HRESULT { throw std::runtime_error("x"); }, E_FAIL},
      {"success passes", []() -> HRESULT { return S_FALSE; }, S_FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(c.expect, TableMethodFrame("M", "F", 1, c.body));
    EXPECT_FALSE(TakeErrorInfo());
  }
}

}  // namespace
}  // namespace qwb
