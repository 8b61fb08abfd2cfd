#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestObjects.h"
#include "wincompat/comptr.h"

namespace {

std::u16string Text(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : u"(null)"; }
// For failure messages (the texts here are ASCII).
std::string Ascii(BSTR b) {
  const std::u16string t = Text(b);
  return std::string(t.begin(), t.end());
}

TEST(Bstr, LayoutLengthsAndNull) {
  BSTR b = SysAllocString(u"abc");
  ASSERT_NE(b, nullptr);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 6u);  // byte length before the text
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  // Embedded NULs count; the text is still terminated.
  const OLECHAR withNul[] = {u'a', 0, u'b'};
  b = SysAllocStringLen(withNul, 3);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  // Length only: zero-filled.
  b = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(SysStringLen(b), 4u);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(b[i], 0);
  SysFreeString(b);

  // Byte strings may have odd lengths; the character length rounds down.
  b = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(std::memcmp(b, "abc\0\0", 5), 0);
  SysFreeString(b);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  b = SysAllocString(u"");
  ASSERT_NE(b, nullptr);  // empty is not null
  EXPECT_EQ(SysStringLen(b), 0u);
  SysFreeString(b);
}

TEST(Bstr, ReallocFromItselfAndBStrOwnership) {
  BSTR b = SysAllocString(u"hello world");
  // The new text comes out of the old string: it must be copied before the old is freed.
  ASSERT_TRUE(SysReAllocStringLen(&b, b + 6, 5));
  EXPECT_EQ(Text(b), u"world");
  ASSERT_TRUE(SysReAllocString(&b, b + 1));
  EXPECT_EQ(Text(b), u"orld");
  SysFreeString(b);

  BStr s(u"x");
  BStr copy = s;
  EXPECT_NE(copy.Get(), s.Get());
  EXPECT_EQ(copy.Str(), u"x");
  BSTR raw = copy.Detach();
  EXPECT_EQ(copy.Get(), nullptr);
  SysFreeString(raw);
  *s.Out() = SysAllocString(u"replaced");  // Out frees the old value
  EXPECT_EQ(s.Str(), u"replaced");
}

TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  wctest::Counted obj;
  VARIANT a;
  VariantInit(&a);
  EXPECT_EQ(a.vt, VT_EMPTY);
  a.vt = VT_DISPATCH;
  a.pdispVal = &obj;
  obj.AddRef();
  VARIANT b;
  VariantInit(&b);
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_EQ(obj.refs.load(), 3u);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(obj.refs.load(), 2u);

  // Copying over a destination clears what it held first.
  VARIANT s;
  VariantInit(&s);
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocString(u"text");
  ASSERT_EQ(VariantCopy(&b, &s), S_OK);
  EXPECT_EQ(obj.refs.load(), 1u);
  EXPECT_NE(b.bstrVal, s.bstrVal);
  EXPECT_EQ(Text(b.bstrVal), u"text");
  EXPECT_EQ(VariantCopy(&b, &b), S_OK);  // self copy is a no-op
  EXPECT_EQ(Text(b.bstrVal), u"text");
  VariantClear(&b);
  VariantClear(&s);

  // A BYREF is copied as a reference; CopyInd copies what it points at.
  LONG target = 7;
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_BYREF | VT_I4;
  r.plVal = &target;
  VARIANT c;
  VariantInit(&c);
  ASSERT_EQ(VariantCopy(&c, &r), S_OK);
  EXPECT_EQ(c.plVal, &target);
  ASSERT_EQ(VariantCopyInd(&c, &r), S_OK);
  EXPECT_EQ(c.vt, VT_I4);
  EXPECT_EQ(c.lVal, 7);
  BSTR owned = SysAllocString(u"by ref");
  VARIANT rb;
  rb.vt = VT_BYREF | VT_BSTR;
  rb.pbstrVal = &owned;
  ASSERT_EQ(VariantCopyInd(&c, &rb), S_OK);
  EXPECT_NE(c.bstrVal, owned);
  EXPECT_EQ(Text(c.bstrVal), u"by ref");
  VariantClear(&rb);  // a BYREF owns nothing
  SysFreeString(owned);
  VariantClear(&c);

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&c, &bad), DISP_E_BADVARTYPE);
}

class ChangeType : public ::testing::Test {
 protected:
  void TearDown() override {
    VariantClear(&src);
    VariantClear(&dst);
  }
  void SetText(const char16_t* s) {
    VariantClear(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(s);
  }
  HRESULT To(VARTYPE vt, USHORT flags = 0) {
    VariantClear(&dst);
    return VariantChangeType(&dst, &src, flags, vt);
  }
  VARIANT src{VT_EMPTY, 0, 0, 0, {}};
  VARIANT dst{VT_EMPTY, 0, 0, 0, {}};
};

TEST_F(ChangeType, TextToNumbers) {
  SetText(u"12");
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 12);
  SetText(u"  -42 \t");
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, -42);
  SetText(u"4294967295");
  ASSERT_EQ(To(VT_UI4), S_OK);
  EXPECT_EQ(dst.ulVal, 4294967295u);
  EXPECT_EQ(To(VT_I4), DISP_E_OVERFLOW);
  SetText(u"-1");
  EXPECT_EQ(To(VT_UI4), DISP_E_OVERFLOW);
  SetText(u"1,234,567");
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 1234567);
  SetText(u"2.5");  // half to even
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 2);
  SetText(u"3.5");
  ASSERT_EQ(To(VT_I2), S_OK);
  EXPECT_EQ(dst.iVal, 4);
  SetText(u"1.5e3");
  ASSERT_EQ(To(VT_R8), S_OK);
  EXPECT_DOUBLE_EQ(dst.dblVal, 1500.0);
  SetText(u"&HFF");
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 255);
  SetText(u"-9223372036854775808");
  ASSERT_EQ(To(VT_I8), S_OK);
  EXPECT_EQ(dst.llVal, INT64_MIN);
  SetText(u"18446744073709551615");
  ASSERT_EQ(To(VT_UI8), S_OK);
  EXPECT_EQ(dst.ullVal, UINT64_MAX);
  SetText(u"32768");
  EXPECT_EQ(To(VT_I2), DISP_E_OVERFLOW);

  for (const char16_t* bad : {u"abc", u"", u"   ", u"12abc", u"1.2.3", u"--1", u"1e"}) {
    SetText(bad);
    dst.vt = VT_I4;
    dst.lVal = 99;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH) << Ascii(src.bstrVal);
    EXPECT_EQ(dst.vt, VT_I4);  // a failed conversion leaves the destination alone
    EXPECT_EQ(dst.lVal, 99);
  }
}

TEST_F(ChangeType, NumbersAndDatesToText) {
  src.vt = VT_I4;
  src.lVal = -17;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"-17");
  src.vt = VT_UI4;
  src.ulVal = 4000000000u;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"4000000000");
  src.vt = VT_R8;
  src.dblVal = 0.1;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"0.1");
  src.dblVal = 1.0 / 3.0;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"0.333333333333333");
  src.dblVal = 1e20;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"1E+20");

  src.vt = VT_DATE;
  src.date = 45306.5;  // 15 January 2024, noon
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"1/15/2024 12:00:00 PM");
  src.date = 45306.0;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"1/15/2024");
  src.date = 0.25;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"6:00:00 AM");
  src.date = 0.0;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"12:00:00 AM");
  src.date = 45306.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"1/15/2024 1:05:09 PM");

  // Text back to a date.
  SetText(u"1/15/2024 1:05:09 PM");
  ASSERT_EQ(To(VT_DATE), S_OK);
  EXPECT_NEAR(dst.date, 45306.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0, 1e-9);
  SetText(u"2024-01-15 00:00:00");
  ASSERT_EQ(To(VT_DATE), S_OK);
  EXPECT_DOUBLE_EQ(dst.date, 45306.0);
  SetText(u"12:00:00 AM");
  ASSERT_EQ(To(VT_DATE), S_OK);
  EXPECT_DOUBLE_EQ(dst.date, 0.0);
  SetText(u"2/30/2024");
  EXPECT_EQ(To(VT_DATE), DISP_E_TYPEMISMATCH);
}

TEST_F(ChangeType, BoolTexts) {
  src.vt = VT_BOOL;
  src.boolVal = VARIANT_TRUE;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"-1");
  ASSERT_EQ(To(VT_BSTR, VARIANT_ALPHABOOL), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"True");
  src.boolVal = VARIANT_FALSE;
  ASSERT_EQ(To(VT_BSTR, VARIANT_ALPHABOOL), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"False");
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 0);
  src.boolVal = VARIANT_TRUE;
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, -1);

  for (const char16_t* yes : {u"True", u"true", u" TRUE ", u"#TRUE#", u"-1", u"5"}) {
    SetText(yes);
    ASSERT_EQ(To(VT_BOOL), S_OK) << Ascii(src.bstrVal);
    EXPECT_EQ(dst.boolVal, VARIANT_TRUE);
  }
  for (const char16_t* no : {u"False", u"false", u"0", u"#FALSE#"}) {
    SetText(no);
    ASSERT_EQ(To(VT_BOOL), S_OK) << Ascii(src.bstrVal);
    EXPECT_EQ(dst.boolVal, VARIANT_FALSE);
  }
  SetText(u"yes");
  EXPECT_EQ(To(VT_BOOL), DISP_E_TYPEMISMATCH);
  VariantClear(&src);
  src.vt = VT_I4;
  src.lVal = 2;
  ASSERT_EQ(To(VT_BOOL), S_OK);
  EXPECT_EQ(dst.boolVal, VARIANT_TRUE);
}

TEST_F(ChangeType, EmptyNullErrorAndRealDate) {
  ASSERT_EQ(To(VT_I4), S_OK);  // EMPTY is 0 and ""
  EXPECT_EQ(dst.lVal, 0);
  ASSERT_EQ(To(VT_BSTR), S_OK);
  ASSERT_NE(dst.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(dst.bstrVal), 0u);

  src.vt = VT_NULL;
  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_DATE, VT_UI4, VT_DISPATCH}) {
    EXPECT_EQ(To(vt), DISP_E_TYPEMISMATCH) << vt;
  }
  EXPECT_EQ(To(VT_NULL), S_OK);
  EXPECT_EQ(To(VT_EMPTY), S_OK);

  src.vt = VT_ERROR;
  src.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(To(VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(To(VT_ERROR), S_OK);
  EXPECT_EQ(dst.scode, DISP_E_PARAMNOTFOUND);
  src.vt = VT_I4;
  src.lVal = 5;
  ASSERT_EQ(To(VT_ERROR), S_OK);
  EXPECT_EQ(dst.scode, 5);

  src.vt = VT_R8;
  src.dblVal = 45306.75;
  ASSERT_EQ(To(VT_DATE), S_OK);
  EXPECT_EQ(dst.vt, VT_DATE);
  EXPECT_DOUBLE_EQ(dst.date, 45306.75);
  src.dblVal = 3e6;
  EXPECT_EQ(To(VT_DATE), DISP_E_OVERFLOW);
  src.vt = VT_DATE;
  src.date = -1.25;
  ASSERT_EQ(To(VT_R8), S_OK);
  EXPECT_DOUBLE_EQ(dst.dblVal, -1.25);
  src.vt = VT_R8;
  src.dblVal = 2147483647.5;  // rounds to even, past the top
  EXPECT_EQ(To(VT_I4), DISP_E_OVERFLOW);
  src.dblVal = -2147483648.4;
  ASSERT_EQ(To(VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, INT32_MIN);
  src.dblVal = 0.0 / 0.0;
  EXPECT_EQ(To(VT_I4), DISP_E_OVERFLOW);
  src.vt = VT_I4;
  src.lVal = -1;
  EXPECT_EQ(To(VT_UI4), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI2), DISP_E_OVERFLOW);
  src.lVal = 65535;
  ASSERT_EQ(To(VT_UI2), S_OK);
  EXPECT_EQ(dst.uiVal, 65535);
}

TEST_F(ChangeType, ByRefInPlaceAndObjects) {
  LONG value = 31;
  src.vt = VT_BYREF | VT_I4;
  src.plVal = &value;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"31");
  ASSERT_EQ(To(VT_I4), S_OK);  // BYREF|I4 to I4 is a dereference
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 31);
  VARIANT inner;
  inner.vt = VT_BSTR;
  inner.bstrVal = SysAllocString(u" 8 ");
  src.vt = VT_BYREF | VT_VARIANT;
  src.pvarVal = &inner;
  ASSERT_EQ(To(VT_UI4), S_OK);
  EXPECT_EQ(dst.ulVal, 8u);
  VariantClear(&inner);
  src.vt = VT_EMPTY;

  // In place: the source string is released only once the result exists.
  SetText(u"77");
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_I4), S_OK);
  EXPECT_EQ(src.vt, VT_I4);
  EXPECT_EQ(src.lVal, 77);
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Text(src.bstrVal), u"77");
  SetText(u"not a number");
  EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Text(src.bstrVal), u"not a number");

  wctest::Counted obj;
  VariantClear(&src);
  src.vt = VT_UNKNOWN;
  src.punkVal = &obj;
  obj.AddRef();
  ASSERT_EQ(To(VT_DISPATCH), S_OK);
  EXPECT_EQ(dst.pdispVal, static_cast<IDispatch*>(&obj));
  EXPECT_EQ(obj.refs.load(), 3u);
  EXPECT_EQ(To(VT_I4), DISP_E_TYPEMISMATCH);  // IUnknown has no value
  EXPECT_EQ(obj.refs.load(), 2u);
  // An object converts through its default property.
  src.vt = VT_DISPATCH;
  obj.hasValue = true;
  obj.value = 1234;
  ASSERT_EQ(To(VT_BSTR), S_OK);
  EXPECT_EQ(Text(dst.bstrVal), u"1234");
  EXPECT_EQ(To(VT_BSTR, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
  wctest::Counted plain(false);
  VariantClear(&src);
  src.vt = VT_UNKNOWN;
  src.punkVal = &plain;
  plain.AddRef();
  EXPECT_EQ(To(VT_DISPATCH), E_NOINTERFACE);
  VariantClear(&src);
  EXPECT_EQ(plain.refs.load(), 1u);
  EXPECT_EQ(obj.refs.load(), 1u);
}

TEST(VariantRaii, VariantClassOwnsItsValue) {
  Variant a = Variant::Str(u"owned");
  Variant b = a;  // deep copy
  EXPECT_NE(a.Get().bstrVal, b.Get().bstrVal);
  b = Variant::I4(3);
  EXPECT_EQ(b.vt(), VT_I4);
  Variant c = std::move(a);
  EXPECT_EQ(a.vt(), VT_EMPTY);
  EXPECT_EQ(Text(c.Get().bstrVal), u"owned");
  c = c;
  EXPECT_EQ(Text(c.Get().bstrVal), u"owned");
  VARIANT raw = c.Detach();
  EXPECT_EQ(c.vt(), VT_EMPTY);
  VariantClear(&raw);
}

}  // namespace
