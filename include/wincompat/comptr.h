// RAII for COM resources: ComPtr<T> (one counted reference), BStr (one BSTR), Variant (one
// VARIANT). One small class per resource; table code never pairs AddRef/Release by hand.
#pragma once

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "wincompat/com.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases what is held and returns the slot for an out-parameter.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &p_;
  }
  // For an out-parameter: releases what is held and hands out the slot the callee fills.
  T** Receive() { return ReleaseAndGetAddressOf(); }
  T** operator&() = delete;

  // Hands out one new reference (for an out-parameter); *pp is overwritten.
  void CopyTo(T** pp) const {
    if (p_) p_->AddRef();
    *pp = p_;
  }

  // operator& is deleted, so the reference form is the one callers can use: p.As(q).
  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    return As(std::addressof(out));
  }
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(uuidof<U>(), reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
  }
  HRESULT QueryInterface(REFIID iid, void** out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out);
  }

 private:
  T* p_ = nullptr;
};

class BStr {
 public:
  BStr() = default;
  explicit BStr(const char16_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
  explicit BStr(std::u16string_view s)
      : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  // A copy that cannot be made raises std::bad_alloc: a copy never silently comes out null.
  BStr(const BStr& o) : b_(o.Copy()) {
    if (o.b_ && !b_) throw std::bad_alloc();
  }
  BStr(BStr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  ~BStr() { SysFreeString(b_); }
  BStr& operator=(BStr o) noexcept {
    std::swap(b_, o.b_);
    return *this;
  }
  static BStr Attach(BSTR b) {
    BStr s;
    s.b_ = b;
    return s;
  }
  BSTR Detach() { return std::exchange(b_, nullptr); }
  BSTR Get() const { return b_; }
  // For an out-parameter: frees what is held and hands out the slot the callee fills.
  BSTR* Receive() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  BSTR* Out() { return Receive(); }
  UINT Length() const { return b_ ? SysStringLen(b_) : 0; }
  bool Empty() const { return Length() == 0; }
  std::u16string Str() const { return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string(); }
  // A fresh BSTR copy for an out-parameter.
  BSTR Copy() const { return b_ ? SysAllocStringLen(b_, SysStringLen(b_)) : nullptr; }

 private:
  BSTR b_ = nullptr;
};

// A VARIANT copy that failed for another reason than memory.
class VariantCopyError : public std::exception {
 public:
  explicit VariantCopyError(HRESULT hr) : hr_(hr) {}
  HRESULT hr() const { return hr_; }
  const char* what() const noexcept override { return "VARIANT copy failed"; }

 private:
  HRESULT hr_;
};

// Values are made, moved and dropped by the hundred per record a table reads, so the empty
// state is set and tested inline: what VariantInit does (all zero bits, VT_EMPTY being 0), and
// no VariantClear call for a value that holds nothing.
class Variant {
 public:
  Variant() { MakeEmpty(v_); }
  // Copies that fail raise: std::bad_alloc for E_OUTOFMEMORY, VariantCopyError otherwise; a
  // copy never silently comes out empty.
  Variant(const Variant& o) : Variant() { CheckCopy(VariantCopy(&v_, &o.v_)); }
  Variant(Variant&& o) noexcept : v_(o.v_) { MakeEmpty(o.v_); }
  explicit Variant(const VARIANT& v) : Variant() { CheckCopy(VariantCopy(&v_, &v)); }
  ~Variant() { Drop(); }
  Variant& operator=(const Variant& o) {
    if (this != std::addressof(o)) CheckCopy(VariantCopy(&v_, &o.v_));
    return *this;
  }
  Variant& operator=(Variant&& o) noexcept {
    if (this != std::addressof(o)) {
      Drop();
      v_ = o.v_;
      MakeEmpty(o.v_);
    }
    return *this;
  }

  static Variant I4(LONG l) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = l;
    return v;
  }
  static Variant UI4(ULONG u) {
    Variant v;
    v.v_.vt = VT_UI4;
    v.v_.ulVal = u;
    return v;
  }
  static Variant I8(LONGLONG l) {
    Variant v;
    v.v_.vt = VT_I8;
    v.v_.llVal = l;
    return v;
  }
  static Variant Date(DATE d) {
    Variant v;
    v.v_.vt = VT_DATE;
    v.v_.date = d;
    return v;
  }
  static Variant R8(double d) {
    Variant v;
    v.v_.vt = VT_R8;
    v.v_.dblVal = d;
    return v;
  }
  static Variant Bool(bool b) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Null() {
    Variant v;
    v.v_.vt = VT_NULL;
    return v;
  }
  static Variant Str(std::u16string_view s) {
    Variant v;
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
  }
  // Takes over the contents of v and leaves it VT_EMPTY.
  static Variant Attach(VARIANT& v) {
    Variant r;
    r.v_ = v;
    VariantInit(&v);
    return r;
  }

  VARIANT* operator&() { return &v_; }
  const VARIANT* operator&() const { return &v_; }
  VARIANT* Ptr() { return &v_; }
  const VARIANT* Ptr() const { return &v_; }
  const VARIANT& Get() const { return v_; }
  VARTYPE vt() const { return v_.vt; }
  // For an out-parameter: clears what is held and hands out the slot the callee fills.
  VARIANT* Receive() {
    VariantClear(&v_);
    return &v_;
  }
  VARIANT* Out() { return Receive(); }
  void Clear() { VariantClear(&v_); }
  VARIANT Detach() {
    VARIANT r = v_;
    VariantInit(&v_);
    return r;
  }

 private:
  static void CheckCopy(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) throw VariantCopyError(hr);
  }
  static void MakeEmpty(VARIANT& v) noexcept { std::memset(&v, 0, sizeof v); }
  void Drop() noexcept {
    if (v_.vt != VT_EMPTY) VariantClear(&v_);
  }
  VARIANT v_;
};
