#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestObjects.h"
#include "wincompat/comptr.h"

namespace {

using wctest::Ascii;
using wctest::Show;
using wctest::Text;

std::string Convert(const VARIANT& src, VARTYPE vt) {
  Variant dst;
  const HRESULT hr = VariantChangeType(dst.Ptr(), &src, 0, vt);
  if (hr == DISP_E_OVERFLOW) return "overflow";
  if (hr == DISP_E_TYPEMISMATCH) return "mismatch";
  if (hr != S_OK) return "hr " + std::to_string(hr);
  return Show(dst.Get());
}

Variant Error(SCODE s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = s;
  return Variant::Attach(v);
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

  const OLECHAR withNul[] = {u'a', 0, u'b'};  // embedded NULs count; still terminated
  b = SysAllocStringLen(withNul, 3);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(std::u16string(b, 4), std::u16string(u"a\0b\0", 4));
  SysFreeString(b);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr) + SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  b = SysAllocString(u"");
  ASSERT_NE(b, nullptr);  // empty is not null
  EXPECT_EQ(SysStringLen(b), 0u);
  SysFreeString(b);
}

TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  wctest::Counted obj;
  VARIANT a, b;
  VariantInit(&a);
  VariantInit(&b);
  EXPECT_EQ(a.vt, VT_EMPTY);
  a.vt = VT_DISPATCH;
  a.pdispVal = &obj;
  obj.AddRef();
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_EQ(obj.refs.load(), 3u);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(obj.refs.load(), 2u);

  Variant s = Variant::Str(u"text");
  ASSERT_EQ(VariantCopy(&b, s.Ptr()), S_OK);  // copying over a destination clears it first
  EXPECT_EQ(obj.refs.load(), 1u);
  EXPECT_NE(b.bstrVal, s.Get().bstrVal);
  EXPECT_EQ(VariantCopy(&b, &b), S_OK);  // self copy is a no-op
  EXPECT_EQ(Text(b.bstrVal), u"text");
  EXPECT_EQ(VariantClear(&b), S_OK);

  VARIANT bad;
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&b, &bad), DISP_E_BADVARTYPE);
}

TEST(ChangeType, FromText) {
  const struct {
    const char16_t* text;
    VARTYPE to;
    const char* want;
  } cases[] = {
      {u"12", VT_I4, "I4:12"},
      {u"  -42 \t", VT_I4, "I4:-42"},
      {u"7", VT_UI4, "UI4:7"},
      {u"4294967295", VT_I4, "overflow"},
      {u"-1", VT_UI4, "overflow"},
      {u"2.5", VT_I4, "I4:2"},  // half to even
      {u"1.5e3", VT_R8, "R8:1500"},
      {u"abc", VT_I4, "mismatch"},
      {u"", VT_I4, "mismatch"},
      {u"True", VT_BOOL, "BOOL:-1"},
      {u"0", VT_BOOL, "BOOL:0"},
      {u"2024-01-15 00:00:00", VT_DATE, "DATE:45306"},
      {u"2/30/2024", VT_DATE, "mismatch"},
  };
  for (const auto& c : cases) {
    const Variant src = Variant::Str(c.text);
    EXPECT_EQ(Convert(src.Get(), c.to), c.want) << Ascii(src.Get().bstrVal) << " to " << c.to;
  }
  Variant src = Variant::Str(u"1/15/2024 1:05:09 PM");
  Variant dst;
  ASSERT_EQ(VariantChangeType(dst.Ptr(), src.Ptr(), 0, VT_DATE), S_OK);
  EXPECT_NEAR(dst.Get().date, 45306.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0, 1e-9);
  // A failed conversion leaves the destination alone.
  src = Variant::Str(u"abc");
  dst = Variant::I4(99);
  EXPECT_EQ(VariantChangeType(dst.Ptr(), src.Ptr(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Show(dst.Get()), "I4:99");
}

TEST(ChangeType, FromValues) {
  const struct {
    Variant src;
    VARTYPE to;
    const char* want;
  } cases[] = {
      {Variant::I4(-17), VT_BSTR, "BSTR:-17"},
      {Variant::R8(0.1), VT_BSTR, "BSTR:0.1"},
      {Variant::Date(45306.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0), VT_BSTR,
       "BSTR:1/15/2024 1:05:09 PM"},
      {Variant::Date(45306.0), VT_BSTR, "BSTR:1/15/2024"},
      {Variant::Bool(true), VT_I4, "I4:-1"},
      {Variant(), VT_I4, "I4:0"},  // EMPTY is 0 and ""
      {Variant(), VT_BSTR, "BSTR:"},
      {Variant::Null(), VT_I4, "mismatch"},
      {Error(DISP_E_PARAMNOTFOUND), VT_I4, "mismatch"},
      {Variant::R8(45306.75), VT_DATE, "DATE:45306.75"},
      {Variant::Date(-1.25), VT_R8, "R8:-1.25"},
      {Variant::R8(2147483647.5), VT_I4, "overflow"},  // rounds to even, past the top
      {Variant::I4(-1), VT_UI4, "overflow"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Convert(cases[i].src.Get(), cases[i].to), cases[i].want) << i;
  Variant empty, dst;
  ASSERT_EQ(VariantChangeType(dst.Ptr(), empty.Ptr(), 0, VT_BSTR), S_OK);
  EXPECT_NE(dst.Get().bstrVal, nullptr);  // an empty string, not a null one
}

TEST(ChangeType, ByRefInPlaceAndInterfaces) {
  LONG value = 31;
  VARIANT src;
  src.vt = VT_BYREF | VT_I4;
  src.plVal = &value;
  EXPECT_EQ(Convert(src, VT_BSTR), "BSTR:31");
  Variant inner = Variant::Str(u" 8 ");
  src.vt = VT_BYREF | VT_VARIANT;
  src.pvarVal = inner.Ptr();
  EXPECT_EQ(Convert(src, VT_UI4), "UI4:8");

  // In place: the source string is released only once the result exists.
  Variant v = Variant::Str(u"77");
  ASSERT_EQ(VariantChangeType(v.Ptr(), v.Ptr(), 0, VT_I4), S_OK);
  EXPECT_EQ(Show(v.Get()), "I4:77");
  v = Variant::Str(u"not a number");
  EXPECT_EQ(VariantChangeType(v.Ptr(), v.Ptr(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Show(v.Get()), "BSTR:not a number");

  wctest::Counted obj;
  wctest::Counted plain(false);
  {
    VARIANT unk;
    unk.vt = VT_UNKNOWN;
    unk.punkVal = &obj;
    Variant dst;
    ASSERT_EQ(VariantChangeType(dst.Ptr(), &unk, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(dst.Get().pdispVal, static_cast<IDispatch*>(&obj));
    EXPECT_EQ(obj.refs.load(), 2u);
    unk.punkVal = &plain;
    EXPECT_EQ(VariantChangeType(dst.Ptr(), &unk, 0, VT_DISPATCH), E_NOINTERFACE);
  }
  EXPECT_EQ(plain.refs.load(), 1u);
  EXPECT_EQ(obj.refs.load(), 1u);
}

// The owning wrappers: a copy that fails says so instead of coming out empty, and Receive()
// frees what was held before the callee fills the slot.
TEST(OwningWrappers, FailedCopiesRaiseAndReceiveFreesFirst) {
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;  // no such type
  try {
    Variant copy(bad);
    ADD_FAILURE() << "copied a VARIANT of an unknown type";
  } catch (const VariantCopyError& e) {
    EXPECT_EQ(e.hr(), DISP_E_BADVARTYPE);
  }
  Variant held = Variant::Str(u"kept");
  Variant target = Variant::I4(1);
  target = held;
  EXPECT_EQ(target.vt(), VT_BSTR);

  BStr text(u"old");
  *text.Receive() = SysAllocString(u"new");
  EXPECT_EQ(text.Str(), u"new");
  BStr copy(text);
  EXPECT_EQ(copy.Str(), u"new");
  EXPECT_NE(copy.Get(), text.Get());
  Variant v = Variant::Str(u"old");
  VARIANT* slot = v.Receive();
  EXPECT_EQ(slot->vt, VT_EMPTY);
  slot->vt = VT_I4;
  slot->lVal = 7;
  EXPECT_EQ(v.Get().lVal, 7);
}

}  // namespace
