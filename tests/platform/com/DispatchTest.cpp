#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "TestObjects.h"
#include "wincompat/comptr.h"
#include "wincompat/dispatch.h"

// A test interface; interface IIDs are declared at global scope.
enum Kind : int32_t { kKindOne = 1, kKindTwo = 2 };

struct ICalc : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Concat(BSTR a, ULONG times, BSTR* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(ULONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lookup(BSTR name, ULONG* index, LONG* found) = 0;
  virtual HRESULT STDMETHODCALLTYPE Echo(VARIANT v, VARIANT* out) = 0;
  virtual HRESULT STDMETHODCALLTYPE Self(ICalc** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE Inspect(ICalc* other, Kind kind, USHORT* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Fail() = 0;
};
constexpr IID IID_ICalc = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
WINCOMPAT_INTERFACE_IID(ICalc, IID_ICalc)

namespace {

const wincompat::DispInterface& CalcDesc() {
  using wincompat::DispThunk;
  static const wincompat::DispMethod methods[] = {
      {u"Add", 1, DISPATCH_METHOD, &DispThunk<&ICalc::Add>},
      {u"Concat", 2, DISPATCH_METHOD, &DispThunk<&ICalc::Concat>},
      {u"Count", 3, DISPATCH_PROPERTYGET, &DispThunk<&ICalc::get_Count>},
      {u"Lookup", 4, DISPATCH_METHOD, &DispThunk<&ICalc::Lookup>},
      {u"Echo", 5, DISPATCH_METHOD, &DispThunk<&ICalc::Echo>},
      {u"Self", 6, DISPATCH_METHOD, &DispThunk<&ICalc::Self>},
      {u"Inspect", 7, DISPATCH_METHOD, &DispThunk<&ICalc::Inspect>},
      {u"Fail", 8, DISPATCH_METHOD, &DispThunk<&ICalc::Fail>},
  };
  static const wincompat::DispInterface desc{&IID_ICalc, u"ICalc", methods, std::size(methods)};
  return desc;
}

template <const wincompat::DispInterface& (*Desc)()>
class CalcT final : public wincompat::DispatchImpl<ICalc, Desc> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return wctest::Answer(static_cast<ICalc*>(this), riid, ppv, {&IID_IDispatch, &IID_ICalc});
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
    *sum = a + b;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Concat(BSTR a, ULONG times, BSTR* out) override {
    std::u16string s;
    for (ULONG i = 0; i < times; ++i) s += std::u16string(a, SysStringLen(a));
    *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Count(ULONG* count) override {
    *count = 3000000000u;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Lookup(BSTR name, ULONG* index, LONG* found) override {
    const std::u16string n(name, SysStringLen(name));
    *index = n == u"TEL_NUM_0" ? 5 : 0;
    *found = n == u"TEL_NUM_0" ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Echo(VARIANT v, VARIANT* out) override {
    VariantInit(out);
    return VariantCopy(out, &v);
  }
  HRESULT STDMETHODCALLTYPE Self(ICalc** out) override {
    *out = this;
    this->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Inspect(ICalc* other, Kind kind, USHORT* code) override {
    *code = static_cast<USHORT>((other == this ? 100 : other ? 200 : 0) + kind);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Fail() override {
    ICreateErrorInfo* c;
    CreateErrorInfo(&c);
    c->SetSource(const_cast<LPOLESTR>(u"ICalc::Fail"));
    c->SetDescription(const_cast<LPOLESTR>(u"no luck"));
    IErrorInfo* e;
    c->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&e));
    SetErrorInfo(0, e);
    e->Release();
    c->Release();
    return static_cast<HRESULT>(0x8004000D);
  }

  std::atomic<ULONG> refs{1};
};
using Calc = CalcT<&CalcDesc>;
using BlindCalc = CalcT<nullptr>;

using wctest::Show;
using Args = std::vector<Variant>;

// A reference (VT_BYREF) or an interface argument; the Variant owns a reference on an interface.
Variant Ref(VARTYPE vt, void* p) {
  VARIANT v;
  v.vt = vt;
  v.byref = p;
  return Variant(v);
}

class Dispatch : public ::testing::Test {
 protected:
  // Arguments are given in call order and passed reversed, as automation clients do.
  HRESULT Call(const char16_t* name, Args in, WORD flags = DISPATCH_METHOD,
               EXCEPINFO* ei = nullptr) {
    DISPID id;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = calc.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return FAILED(hr) ? hr : CallId(id, std::move(in), flags, ei);
  }
  HRESULT CallId(DISPID id, Args in, WORD flags = DISPATCH_METHOD, EXCEPINFO* ei = nullptr,
                 REFIID riid = IID_NULL, DISPID* named = nullptr) {
    args = std::move(in);
    reversed.clear();
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->Get());
    const UINT n = static_cast<UINT>(reversed.size());
    dp = {n ? reversed.data() : nullptr, named, n, named ? 1u : 0u};
    result = Variant();
    argErr = 77;
    return calc.Invoke(id, riid, LOCALE_USER_DEFAULT, flags, &dp, result.Ptr(), ei, &argErr);
  }
  std::string Result() const { return Show(result.Get()); }

  Calc calc;
  Args args;
  std::vector<VARIANT> reversed;
  DISPPARAMS dp = {};
  Variant result;
  UINT argErr = 0;
};

TEST_F(Dispatch, CoercesArgumentsAndReturnsTheRetval) {
  ASSERT_EQ(Call(u"add", Args{Variant::Str(u" 12 "), Variant::I4(30)}), S_OK);
  EXPECT_EQ(Result(), "I4:42");
  ASSERT_EQ(Call(u"Concat", Args{Variant::Str(u"ab"), Variant::Str(u"3")}), S_OK);
  EXPECT_EQ(Result(), "BSTR:ababab");
  ASSERT_EQ(Call(u"Count", {}, DISPATCH_PROPERTYGET), S_OK);
  EXPECT_EQ(Result(), "UI4:3000000000");
  EXPECT_EQ(Call(u"Count", {}, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
  // The result may be refused: the retval is released, not leaked.
  CallId(2, Args{Variant::Str(u"x"), Variant::I4(2)});
  EXPECT_EQ(calc.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(Dispatch, ArgumentFailures) {
  EXPECT_EQ(Call(u"Add", Args{Variant::Str(u"abc"), Variant::I4(1)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);  // the first argument sits last in rgvarg
  EXPECT_EQ(Call(u"Add", Args{Variant::I4(1), Variant::Str(u"abc")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  EXPECT_EQ(Call(u"Add", Args{Variant::I4(1), Variant::Str(u"99999999999")}), DISP_E_OVERFLOW);
  EXPECT_EQ(Call(u"Add", Args{Variant::I4(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(u"Subtract", {}), DISP_E_UNKNOWNNAME);
  DISPID named = 0;
  const Args two{Variant::I4(1), Variant::I4(2)};
  EXPECT_EQ(CallId(1, two, DISPATCH_METHOD, nullptr, IID_NULL, &named), DISP_E_NONAMEDARGS);
  EXPECT_EQ(CallId(99, two), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(CallId(1, two, DISPATCH_METHOD, nullptr, IID_ICalc), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Dispatch, OutParametersTakeByRefArguments) {
  ULONG index = 0;
  ASSERT_EQ(Call(u"Lookup", Args{Variant::Str(u"TEL_NUM_0"), Ref(VT_BYREF | VT_UI4, &index)}),
            S_OK);
  EXPECT_EQ(index, 5u);
  EXPECT_EQ(Result(), "I4:1");

  // Not a reference, and a reference of another type.
  EXPECT_EQ(Call(u"Lookup", Args{Variant::Str(u"x"), Variant::I4(0)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
}

TEST_F(Dispatch, VariantsAndInterfaces) {
  Variant inner = Variant::Str(u"inside");
  ASSERT_EQ(Call(u"Echo", Args{Ref(VT_BYREF | VT_VARIANT, inner.Ptr())}), S_OK);
  EXPECT_EQ(Result(), "BSTR:inside");
  EXPECT_NE(result.Get().bstrVal, inner.Get().bstrVal);

  ASSERT_EQ(Call(u"Self", {}), S_OK);
  ASSERT_EQ(result.vt(), VT_DISPATCH);  // ICalc derives IDispatch
  EXPECT_EQ(result.Get().pdispVal, static_cast<IDispatch*>(&calc));
  EXPECT_EQ(calc.refs.load(), 2u);
  result = Variant();
  EXPECT_EQ(calc.refs.load(), 1u);

  ASSERT_EQ(
      Call(u"Inspect", Args{Ref(VT_DISPATCH, static_cast<IDispatch*>(&calc)), Variant::Str(u"2")}),
      S_OK);
  EXPECT_EQ(Result(), "UI2:102");
  EXPECT_EQ(calc.refs.load(), 2u);  // the argument's; the thunk's own reference is gone
  wctest::Counted stranger;
  EXPECT_EQ(Call(u"Inspect",
                 Args{Ref(VT_UNKNOWN, static_cast<IUnknown*>(&stranger)), Variant::Str(u"2")}),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);
  args.clear();
  EXPECT_EQ(stranger.refs.load(), 1u);
}

TEST_F(Dispatch, MethodFailuresBecomeExceptions) {
  EXCEPINFO ei;
  EXPECT_EQ(Call(u"Fail", {}, DISPATCH_METHOD, &ei), DISP_E_EXCEPTION);
  EXPECT_EQ(ei.scode, static_cast<SCODE>(0x8004000D));
  EXPECT_EQ(std::u16string(ei.bstrSource), u"ICalc::Fail");
  EXPECT_EQ(std::u16string(ei.bstrDescription), u"no luck");
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);
  // Without an EXCEPINFO the HRESULT comes back as is, and the error info stays posted.
  EXPECT_EQ(Call(u"Fail", {}), static_cast<HRESULT>(0x8004000D));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  info->Release();
}

TEST_F(Dispatch, TypeInfoAndInterfacesWithoutIt) {
  UINT n = 0;
  EXPECT_EQ(calc.GetTypeInfoCount(&n), S_OK);
  EXPECT_EQ(n, 1u);
  ComPtr<ITypeInfo> ti;
  ASSERT_EQ(calc.GetTypeInfo(0, 0, ti.ReleaseAndGetAddressOf()), S_OK);
  ITypeInfo* none = nullptr;
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"CONCAT")};
  MEMBERID id = 0;
  ASSERT_EQ(ti->GetIDsOfNames(names, 1, &id), S_OK);
  EXPECT_EQ(id, 2);

  BlindCalc blind;
  EXPECT_EQ(blind.GetTypeInfoCount(&n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(blind.GetTypeInfo(0, 0, &none), TYPE_E_ELEMENTNOTFOUND);
  DISPID ids[1];
  EXPECT_EQ(blind.GetIDsOfNames(IID_NULL, names, 1, 0, ids), E_NOTIMPL);
  EXPECT_EQ(blind.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, result.Ptr(), nullptr, nullptr),
            E_NOTIMPL);
}

}  // namespace
