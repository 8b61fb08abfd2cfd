// IDispatch for dual interfaces from a static type description.
//
// A description lists the interface's members with their dispids and a thunk per member that
// unpacks DISPPARAMS into a call of the C++ method. DispThunk<&IFoo::Method> generates the
// thunk from the method's signature:
//   - in:  BSTR, integral and enum values, VARIANT by value, pointers to interfaces;
//   - out: pointers to scalars, enums, BSTR, VARIANT and pointers to interface pointers.
// The last out parameter is the retval and comes back in the result VARIANT; other out
// parameters take a VT_BYREF argument (of their own type, or VT_BYREF|VT_VARIANT) from the
// caller. Arguments arrive in reverse order and are coerced with VariantChangeType.
//
//   HRESULT GetColumnName(ULONG nColumn, BSTR* pName)  ->  {u"GetColumnName", 9,
//       DISPATCH_METHOD, &wincompat::DispThunk<&IItem::GetColumnName>}
#pragma once

#include <cstddef>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "wincompat/com.h"

namespace wincompat {

struct DispMethod {
  const char16_t* name;
  DISPID dispid;
  WORD invokeKind;  // DISPATCH_METHOD or DISPATCH_PROPERTYGET
  HRESULT (*thunk)(void* self, DISPPARAMS* params, VARIANT* result, UINT* argErr);
};

// methods == nullptr describes an interface without type information: its IDispatch half
// reports no type info and refuses names and calls.
struct DispInterface {
  const IID* iid;
  const char16_t* name;
  const DispMethod* methods;
  size_t count;
};

// Names are matched without regard to case; only the member name (names[0]) is known.
HRESULT DispGetIDsOfNames(const DispInterface& desc, LPOLESTR* names, UINT count, DISPID* ids);
// self is the interface pointer the members are called on. A method that fails is reported
// as DISP_E_EXCEPTION with *excepInfo filled (from the thread's error info) when the caller
// gives an EXCEPINFO, and as its own HRESULT otherwise.
HRESULT DispInvoke(const DispInterface& desc, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);
// An ITypeInfo answering GetIDsOfNames, Invoke, GetNames and GetDocumentation.
HRESULT DispGetTypeInfo(const DispInterface& desc, ITypeInfo** out);

namespace dispatch_detail {

// Tells DispInvoke whether the thunk reached the method (a failure after that is the
// method's own, reported as an exception) or failed while unpacking the arguments.
void SetMethodCalled(bool called);

template <class T>
inline constexpr bool kIsInterface = std::is_class_v<T>&& std::is_base_of_v<IUnknown, T>;
template <class T>
inline constexpr bool kIsScalar = std::is_arithmetic_v<T> || std::is_enum_v<T>;
template <class T>
inline constexpr bool kIsBstr =
    std::is_same_v<std::remove_cv_t<T>, char16_t*> || std::is_same_v<T, const char16_t*>;

template <class T>
constexpr VARTYPE ScalarVt() {
  if constexpr (std::is_enum_v<T>) {
    static_assert(sizeof(T) == 4, "enums travel as VT_I4");
    return VT_I4;
  } else if constexpr (std::is_floating_point_v<T>) {
    return sizeof(T) == 4 ? VT_R4 : VT_R8;
  } else if constexpr (sizeof(T) == 1) {
    return std::is_signed_v<T> ? VT_I1 : VT_UI1;
  } else if constexpr (sizeof(T) == 2) {
    return std::is_signed_v<T> ? VT_I2 : VT_UI2;
  } else if constexpr (sizeof(T) == 4) {
    return std::is_signed_v<T> ? VT_I4 : VT_UI4;
  } else {
    return std::is_signed_v<T> ? VT_I8 : VT_UI8;
  }
}

template <class T>
constexpr VARTYPE InterfaceVt() {
  return std::is_base_of_v<IDispatch, T> ? VT_DISPATCH : VT_UNKNOWN;
}

// Out parameters are pointers to something that is not text and not an interface.
template <class P>
constexpr bool IsOut() {
  if constexpr (!std::is_pointer_v<P> || kIsBstr<P>) {
    return false;
  } else {
    return !kIsInterface<std::remove_pointer_t<P>>;
  }
}

template <class... A>
constexpr int LastOutIndex() {
  constexpr bool outs[] = {IsOut<A>()..., false};
  int last = -1;
  for (int i = 0; i < static_cast<int>(sizeof...(A)); ++i)
    if (outs[i]) last = i;
  return last;
}

inline HRESULT Mismatch(HRESULT hr, UINT index, UINT* argErr) {
  if (argErr) *argErr = index;
  return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
}

inline VARIANT* Unwrap(VARIANT* v) {
  return (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) ? v->pvarVal : v;
}

template <class P, bool Retval, class = void>
struct Arg {
  static_assert(sizeof(P) == 0, "parameter type not supported by DispThunk");
};

// ---- in parameters ----------------------------------------------------------

template <class T>
struct Arg<T, false, std::enable_if_t<kIsScalar<T>>> {
  T value{};
  HRESULT Load(DISPPARAMS* dp, UINT i, UINT* argErr) {
    VARIANT tmp;
    VariantInit(&tmp);
    const HRESULT hr = VariantChangeType(&tmp, &dp->rgvarg[i], 0, ScalarVt<T>());
    if (FAILED(hr)) return Mismatch(hr, i, argErr);
    if constexpr (std::is_enum_v<T>) {
      value = static_cast<T>(tmp.lVal);
    } else {
      std::memcpy(&value, &tmp.llVal, sizeof(T));
    }
    return S_OK;
  }
  T Get() { return value; }
  void Finish(HRESULT, VARIANT*) {}
};

template <class T>
struct Arg<T, false, std::enable_if_t<kIsBstr<T>>> {
  VARIANT v;
  Arg() { VariantInit(&v); }
  ~Arg() { VariantClear(&v); }
  HRESULT Load(DISPPARAMS* dp, UINT i, UINT* argErr) {
    const HRESULT hr = VariantChangeType(&v, &dp->rgvarg[i], 0, VT_BSTR);
    return FAILED(hr) ? Mismatch(hr, i, argErr) : S_OK;
  }
  T Get() { return v.bstrVal; }
  void Finish(HRESULT, VARIANT*) {}
};

template <>
struct Arg<VARIANT, false, void> {
  VARIANT v;
  Arg() { VariantInit(&v); }
  ~Arg() { VariantClear(&v); }
  HRESULT Load(DISPPARAMS* dp, UINT i, UINT* argErr) {
    const HRESULT hr = VariantCopyInd(&v, Unwrap(&dp->rgvarg[i]));
    return FAILED(hr) ? Mismatch(hr, i, argErr) : S_OK;
  }
  VARIANT Get() { return v; }  // the callee borrows it; it is freed here afterwards
  void Finish(HRESULT, VARIANT*) {}
};

template <class T>
struct Arg<T*, false, std::enable_if_t<kIsInterface<T>>> {
  T* p = nullptr;
  ~Arg() {
    if (p) p->Release();
  }
  HRESULT Load(DISPPARAMS* dp, UINT i, UINT* argErr) {
    VARIANT* a = Unwrap(&dp->rgvarg[i]);
    IUnknown* unk = nullptr;
    switch (a->vt) {
      case VT_EMPTY:
      case VT_NULL:
        return S_OK;
      case VT_ERROR:  // a missing optional argument
        return a->scode == DISP_E_PARAMNOTFOUND ? S_OK : Mismatch(DISP_E_TYPEMISMATCH, i, argErr);
      case VT_UNKNOWN:
      case VT_DISPATCH:
        unk = a->punkVal;
        break;
      case VT_BYREF | VT_UNKNOWN:
      case VT_BYREF | VT_DISPATCH:
        unk = a->ppunkVal ? *a->ppunkVal : nullptr;
        break;
      default:
        return Mismatch(DISP_E_TYPEMISMATCH, i, argErr);
    }
    if (!unk) return S_OK;
    void* q = nullptr;
    if (FAILED(unk->QueryInterface(uuidof<T>(), &q)))
      return Mismatch(DISP_E_TYPEMISMATCH, i, argErr);
    p = static_cast<T*>(q);
    return S_OK;
  }
  T* Get() { return p; }
  void Finish(HRESULT, VARIANT*) {}
};

// ---- out parameters -----------------------------------------------------------

// How a value of the pointee type U goes into a VARIANT (which takes ownership).
template <class U, class = void>
struct OutTraits;

template <class U>
struct OutTraits<U, std::enable_if_t<kIsScalar<U>>> {
  static constexpr VARTYPE kVt = ScalarVt<U>();
  static void Init(U* u) { *u = U{}; }
  static void Store(U* u, VARIANT* v) {
    VariantInit(v);
    v->vt = kVt;
    if constexpr (std::is_enum_v<U>) {
      v->lVal = static_cast<LONG>(*u);
    } else {
      std::memcpy(&v->llVal, u, sizeof(U));
    }
  }
  static void Free(U*) {}
};

template <>
struct OutTraits<BSTR, void> {
  static constexpr VARTYPE kVt = VT_BSTR;
  static void Init(BSTR* u) { *u = nullptr; }
  static void Store(BSTR* u, VARIANT* v) {
    VariantInit(v);
    v->vt = VT_BSTR;
    v->bstrVal = *u;
    *u = nullptr;
  }
  static void Free(BSTR* u) {
    SysFreeString(*u);
    *u = nullptr;
  }
};

template <class T>
struct OutTraits<T*, std::enable_if_t<kIsInterface<T>>> {
  static constexpr VARTYPE kVt = InterfaceVt<T>();
  static void Init(T** u) { *u = nullptr; }
  static void Store(T** u, VARIANT* v) {
    VariantInit(v);
    v->vt = kVt;
    if constexpr (kVt == VT_DISPATCH) {
      v->pdispVal = static_cast<IDispatch*>(*u);
    } else {
      v->punkVal = static_cast<IUnknown*>(*u);
    }
    *u = nullptr;
  }
  static void Free(T** u) {
    if (*u) (*u)->Release();
    *u = nullptr;
  }
};

template <>
struct OutTraits<VARIANT, void> {
  static constexpr VARTYPE kVt = VT_VARIANT;
  static void Init(VARIANT* u) { VariantInit(u); }
  static void Store(VARIANT* u, VARIANT* v) {
    *v = *u;
    VariantInit(u);
  }
  static void Free(VARIANT* u) { VariantClear(u); }
};

// The retval: a local whose value moves into the result VARIANT.
template <class U>
struct Arg<U*, true, std::void_t<decltype(OutTraits<U>::kVt)>> {
  U local;
  Arg() { OutTraits<U>::Init(&local); }
  ~Arg() { OutTraits<U>::Free(&local); }
  HRESULT Load(DISPPARAMS*, UINT, UINT*) { return S_OK; }
  U* Get() { return &local; }
  void Finish(HRESULT hr, VARIANT* result) {
    if (SUCCEEDED(hr) && result) OutTraits<U>::Store(&local, result);
  }
};

// Another out parameter: written straight into the caller's VT_BYREF storage of the same
// type, or into a local that is stored into the caller's VT_BYREF|VT_VARIANT.
template <class U>
struct Arg<U*, false, std::enable_if_t<IsOut<U*>(), std::void_t<decltype(OutTraits<U>::kVt)>>> {
  U local;
  U* target = &local;
  VARIANT* varTarget = nullptr;
  Arg() { OutTraits<U>::Init(&local); }
  ~Arg() { OutTraits<U>::Free(&local); }
  HRESULT Load(DISPPARAMS* dp, UINT i, UINT* argErr) {
    VARIANT* a = &dp->rgvarg[i];
    if (a->vt == (VT_BYREF | VT_VARIANT) && a->pvarVal) {
      if constexpr (std::is_same_v<U, VARIANT>) {
        VariantClear(a->pvarVal);
        target = a->pvarVal;
      } else {
        varTarget = a->pvarVal;
      }
      return S_OK;
    }
    constexpr VARTYPE vt = OutTraits<U>::kVt;
    if (vt != VT_VARIANT && a->byref &&
        (a->vt == (VT_BYREF | vt) || (vt == VT_DISPATCH && a->vt == (VT_BYREF | VT_UNKNOWN)))) {
      target = static_cast<U*>(a->byref);
      return S_OK;
    }
    return Mismatch(DISP_E_TYPEMISMATCH, i, argErr);
  }
  U* Get() { return target; }
  void Finish(HRESULT hr, VARIANT*) {
    if (SUCCEEDED(hr) && varTarget) {
      VariantClear(varTarget);
      OutTraits<U>::Store(&local, varTarget);
    }
  }
};

template <class F>
struct MemFnTraits;

template <class C, class... A>
struct MemFnTraits<HRESULT (C::*)(A...)> {
  using ArgsTuple = std::tuple<A...>;
  static constexpr int kRet = LastOutIndex<A...>();
  static constexpr UINT kArgs = static_cast<UINT>(sizeof...(A)) - (kRet >= 0 ? 1 : 0);

  // Position in rgvarg of C++ parameter I (the retval takes none).
  template <size_t I>
  static UINT Slot(const DISPPARAMS* dp) {
    const UINT k = static_cast<UINT>(I) - ((kRet >= 0 && static_cast<int>(I) > kRet) ? 1 : 0);
    return dp->cArgs - 1 - k;
  }

  template <auto F, size_t... I>
  static HRESULT Call(void* self, DISPPARAMS* dp, VARIANT* result, UINT* argErr,
                      std::index_sequence<I...>) {
    SetMethodCalled(false);
    if (dp->cArgs != kArgs) return DISP_E_BADPARAMCOUNT;
    std::tuple<Arg<A, static_cast<int>(I) == kRet>...> args;
    HRESULT hr = S_OK;
    const bool loaded = (... && SUCCEEDED(hr = std::get<I>(args).Load(dp, Slot<I>(dp), argErr)));
    if (!loaded) {
      SetMethodCalled(false);
      return hr;
    }
    hr = (static_cast<C*>(self)->*F)(std::get<I>(args).Get()...);
    (std::get<I>(args).Finish(hr, result), ...);
    (void)result;
    (void)argErr;
    SetMethodCalled(true);
    return hr;
  }
};

template <class C, class... A>
struct MemFnTraits<HRESULT (C::*)(A...) noexcept> : MemFnTraits<HRESULT (C::*)(A...)> {};

}  // namespace dispatch_detail

// The thunk of one member function of an interface.
template <auto MemFn>
HRESULT DispThunk(void* self, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  using Traits = dispatch_detail::MemFnTraits<decltype(MemFn)>;
  return Traits::template Call<MemFn>(
      self, params, result, argErr,
      std::make_index_sequence<std::tuple_size_v<typename Traits::ArgsTuple>>{});
}

// Implements the four IDispatch methods of Iface from Desc(). Desc may be nullptr for an
// interface without type information.
template <class Iface, const DispInterface& (*Desc)()>
class DispatchImpl : public Iface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = HasInfo() ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (!HasInfo()) return TYPE_E_ELEMENTNOTFOUND;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return DispGetTypeInfo(Desc(), ppTInfo);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                          DISPID* rgDispId) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!HasInfo()) return E_NOTIMPL;
    return DispGetIDsOfNames(Desc(), rgszNames, cNames, rgDispId);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!HasInfo()) return E_NOTIMPL;
    return DispInvoke(Desc(), static_cast<Iface*>(this), dispIdMember, wFlags, pDispParams,
                      pVarResult, pExcepInfo, puArgErr);
  }

 private:
  static bool HasInfo() { return Desc().methods != nullptr; }
};

// Without type information: no type info, and names and calls are refused.
template <class Iface>
class DispatchImpl<Iface, nullptr> : public Iface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR*, UINT, LCID, DISPID*) override {
    return riid != IID_NULL ? DISP_E_UNKNOWNINTERFACE : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID riid, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    return riid != IID_NULL ? DISP_E_UNKNOWNINTERFACE : E_NOTIMPL;
  }
};

}  // namespace wincompat
