// How a failed device operation reaches the host: the code mapping, the error information
// taken when raising, the error record posted through the outside error reporter or through
// error information of our own, and what the table method frame makes of each failure.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "core/Errors.h"
#include "core/Log.h"
#include "core/MethodFrame.h"
#include "errorreport/ErrorReport.h"
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

  EXPECT_THROW(CheckCom(E_FAIL), _com_error);
  EXPECT_NO_THROW(CheckCom(S_FALSE));
}

// A registry store of this test's own, so that the error reporter is registered exactly when
// the test registers it.
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

TEST(ErrorReportTest, ReportPostsTheRecordWithOrWithoutTheReporter) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

  // Not registered: our own error information names the method, the file and the line.
  SetErrorInfo(0, nullptr);
  HRESULT hr = ReportTableError(13, "CDataTableWMTask::NextItem", ".\\DataTableWMTask.cpp", 321);
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x8004000Du);
  ComPtr<IErrorInfo> own = TakeErrorInfo();
  ASSERT_TRUE(own);
  ExpectRecord(own.Get(), u"CDataTableWMTask::NextItem", u".\\DataTableWMTask.cpp", 321);
  void* p = nullptr;
  EXPECT_EQ(own->QueryInterface(IID_IErrorReport, &p), E_NOINTERFACE);

  hr = ReportTableError(1, "CDataTableWMTask::DeleteItem", ".\\DataTableWMTask.cpp", 7,
                        u"m_nIndex=3, m_nTotal=5");
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x8007001Fu);
  own = TakeErrorInfo();
  ASSERT_TRUE(own);
  EXPECT_EQ(DescriptionOf(own.Get()).rfind(u"m_nIndex=3, m_nTotal=5", 0), 0u);

#ifdef QWB_ERRORREPORT_LIBRARY
  // Registered: the reporter builds the error information from the record.
  void* lib = dlopen(QWB_ERRORREPORT_LIBRARY, RTLD_NOW);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto reg = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(lib, "DllRegisterServer"));
  ASSERT_NE(reg, nullptr);
  ASSERT_EQ(reg(), S_OK);

  ComPtr<IErrorInfo> previous = MakeErrorInfo(u"device");
  SetErrorInfo(0, previous.Get());
  hr = ReportTableError(static_cast<HRESULT>(0x800704B1u), "CDataTableWMFile::ReadItem",
                        ".\\DataTableWMFile.cpp", 4711);
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x800704B1u);
  ComPtr<IErrorInfo> reported = TakeErrorInfo();
  ASSERT_TRUE(reported);
  EXPECT_NE(reported.Get(), previous.Get());
  ASSERT_EQ(reported->QueryInterface(IID_IErrorReport, &p), S_OK);  // the reporter's own
  static_cast<IUnknown*>(p)->Release();
  ExpectRecord(reported.Get(), u"CDataTableWMFile::ReadItem", u".\\DataTableWMFile.cpp", 4711);

  hr = ReportTableError(13, "CDataTableWMVoiceMemo::NextItem", ".\\DataTableWMVoiceMemo.cpp", 9,
                        u"m_nIndex=2, m_nTotal=2");
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x8004000Du);
  reported = TakeErrorInfo();
  ASSERT_TRUE(reported);
  EXPECT_EQ(DescriptionOf(reported.Get()), u"m_nIndex=2, m_nTotal=2");
  EXPECT_EQ(SourceOf(reported.Get()), u"CDataTableWMVoiceMemo::NextItem");
#endif
  CoUninitialize();
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
