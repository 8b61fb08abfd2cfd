// The frame of the table methods: what each kind of failure becomes at the COM boundary, and
// the error information a device failure leaves for the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "core/Errors.h"
#include "core/Log.h"
#include "core/MethodFrame.h"
#include "tests/core/devicedata/TestEnv.h"

namespace {

using namespace qwb;

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

constexpr char kMethod[] = "CDataTableWMVoiceMemo::NextItem";
constexpr char kFile[] = ".\\DataTableWMVoiceMemo.cpp";

// Takes the thread's error information: (source, description), or nothing.
bool TakeErrorInfo(std::u16string* source, std::u16string* description) {
  IErrorInfo* raw = nullptr;
  if (GetErrorInfo(0, &raw) != S_OK || !raw) return false;
  ComPtr<IErrorInfo> info = ComPtr<IErrorInfo>::Attach(raw);
  BStr s, d;
  info->GetSource(s.Out());
  info->GetDescription(d.Out());
  *source = s.Str();
  *description = d.Str();
  return true;
}

void ClearErrorInfo() {
  std::u16string s, d;
  TakeErrorInfo(&s, &d);
}

TEST(MethodFrame, DeviceErrorsAreMappedAndReportedWithMethodFileAndLine) {
  ClearErrorInfo();
  const int line = __LINE__;
  HRESULT hr = TableMethodFrame(kMethod, kFile, line, []() -> HRESULT { ThrowWmError(13); });
  EXPECT_EQ(static_cast<HRESULT>(0x8004000D), hr);
  std::u16string source, description;
  ASSERT_TRUE(TakeErrorInfo(&source, &description));
  EXPECT_EQ(u"CDataTableWMVoiceMemo::NextItem", source);
  EXPECT_NE(std::u16string::npos, description.find(u".\\DataTableWMVoiceMemo.cpp"));
  EXPECT_NE(std::u16string::npos, description.find(u":" + FromUtf8(std::to_string(line))));
}

TEST(MethodFrame, TheFailureHandlerRunsFirstAndGivesTheDescription) {
  ClearErrorInfo();
  int index = 3, total = 3;
  bool listing = true;
  HRESULT hr = TableMethodFrame(
      kMethod, kFile, 7, []() -> HRESULT { ThrowWmError(ERROR_FILE_NOT_FOUND); },
      [&] {
        listing = false;
        char text[64];
        std::snprintf(text, sizeof text, "m_nIndex=%d, m_nTotal=%d", index, total);
        return FromUtf8(text);
      });
  EXPECT_EQ(static_cast<HRESULT>(0x80040002), hr);
  EXPECT_FALSE(listing);
  std::u16string source, description;
  ASSERT_TRUE(TakeErrorInfo(&source, &description));
  EXPECT_EQ(0u, description.find(u"m_nIndex=3, m_nTotal=3"));

  // The handler is for device failures only.
  listing = true;
  EXPECT_EQ(E_ACCESSDENIED, TableMethodFrame(
                                kMethod, kFile, 7, []() -> HRESULT { ThrowHr(E_ACCESSDENIED); },
                                [&] {
                                  listing = false;
                                  return std::u16string();
                                }));
  EXPECT_TRUE(listing);
}

TEST(MethodFrame, OtherFailuresComeBackAsTheirHresultWithoutErrorInformation) {
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
    ClearErrorInfo();
    EXPECT_EQ(c.expect, TableMethodFrame(kMethod, kFile, 1, c.body));
    std::u16string source, description;
    EXPECT_FALSE(TakeErrorInfo(&source, &description));
  }
}

}  // namespace
