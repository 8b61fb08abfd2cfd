// Reading and writing an item's columns by name as a host does, for the component tests:
// each call checks the HRESULT (and that the column exists), so a test reads as the values
// it compares.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/util/Utf.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace qwbtest {

inline std::string Narrow(std::u16string_view s) { return utf::Narrow(s); }

inline ULONG Ordinal(IItem* item, const char16_t* column) {
  ULONG ord = 0;
  LONG found = 0;
  EXPECT_EQ(item->GetOrdinal(BStr(column).Get(), &ord, &found), S_OK);
  EXPECT_EQ(found, 1) << Narrow(column);
  return ord;
}
inline Variant Get(IItem* item, const char16_t* column) {
  Variant v;
  EXPECT_EQ(item->GetValue(Ordinal(item, column), v.Ptr()), S_OK);
  return v;
}
inline void Set(IItem* item, const char16_t* column, const Variant& v) {
  ASSERT_EQ(item->SetValue(Ordinal(item, column), v.Get()), S_OK);
}
// A text column; another type shows as "<vt N>", so that a comparison with text fails.
inline std::u16string Text16(IItem* item, const char16_t* column) {
  Variant v = Get(item, column);
  return v.vt() == VT_BSTR ? BStr(v.Get().bstrVal).Str()
                           : utf::Widen("<vt " + std::to_string(v.vt()) + ">");
}
inline SUID IdOf(IItem* item) {
  SUID id = SUID_NULL;
  EXPECT_TRUE(!item || item->get_SUID(&id) == S_OK);
  return id;
}
inline DCADATATYPE TypeOf(IItem* item) {
  DCADATATYPE t = DCADT_ALL;
  EXPECT_EQ(item->getType(&t), S_OK);
  return t;
}

// A local date and time as an OLE date.
inline DATE At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME st{WORD(y), WORD(mo), 0, WORD(d), WORD(h), WORD(mi), WORD(s), 0};
  DOUBLE out = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &out));
  return out;
}

// The thread's error information as "source | description", "" when none.
inline std::string TakeErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.ReleaseAndGetAddressOf()) != S_OK || !info) return "";
  BStr source, description;
  info->GetSource(source.Out());
  info->GetDescription(description.Out());
  return Narrow(source.Str() + u" | " + description.Str());
}

// Each column holds exactly this type and value (VT_EMPTY and VT_NULL: the type alone).
inline void ExpectColumns(IItem* item,
                          const std::vector<std::pair<const char16_t*, Variant>>& want) {
  for (const auto& [column, w] : want) {
    SCOPED_TRACE(Narrow(column));
    Variant v = Get(item, column);
    ASSERT_EQ(v.vt(), w.vt());
    if (w.vt() == VT_I4) {
      EXPECT_EQ(v.Get().lVal, w.Get().lVal);
    } else if (w.vt() == VT_DATE) {
      EXPECT_EQ(v.Get().date, w.Get().date);
    } else if (w.vt() == VT_BSTR) {
      EXPECT_EQ(BStr(v.Get().bstrVal).Str(), BStr(w.Get().bstrVal).Str());
    }
  }
}

}  // namespace qwbtest
