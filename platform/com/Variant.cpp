// VARIANT handling: VariantInit/Clear/Copy/CopyInd and VariantChangeType(Ex) with OLE
// Automation coercion rules and en-US text formats.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/win/WinInternal.h"
#include "wincompat/com.h"

using wincompat::detail::Narrow;
using wincompat::detail::Widen;

namespace {

// Size of the value a BYREF of this base type points at; 0 for types not handled here.
size_t ValueSize(VARTYPE base) {
  switch (base) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
      return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    default:
      return 0;
  }
}

bool KnownPlainType(VARTYPE vt) {
  return vt == VT_EMPTY || vt == VT_NULL || ValueSize(vt) != 0 || vt == VT_RECORD;
}

// A shallow view of src with one level of BYREF (and VT_BYREF|VT_VARIANT) taken away.
HRESULT Deref(const VARIANT* src, VARIANT* out) {
  if (!(src->vt & VT_BYREF)) {
    *out = *src;
    return S_OK;
  }
  const VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
  if (!src->byref) return E_INVALIDARG;
  if (base == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (inner->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
    return inner->vt & VT_BYREF ? Deref(inner, out) : (*out = *inner, S_OK);
  }
  const size_t n = ValueSize(base);
  if (n == 0) return DISP_E_BADVARTYPE;
  VariantInit(out);
  out->vt = base;
  std::memcpy(&out->llVal, src->byref, n);
  return S_OK;
}

// ---- numbers ---------------------------------------------------------------

struct Num {
  enum Kind { kInt, kUInt, kReal } kind = kInt;
  int64_t i = 0;
  uint64_t u = 0;
  double d = 0;
  double AsDouble() const {
    return kind == kInt ? static_cast<double>(i) : kind == kUInt ? static_cast<double>(u) : d;
  }
};

std::u16string Trim(std::u16string_view s) {
  auto blank = [](char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x3000 || c == 0xA0;
  };
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

bool EqualNoCase(std::u16string_view a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = a[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<char16_t>(std::tolower(static_cast<unsigned char>(b[i])))) return false;
  }
  return true;
}

// en-US number text: blanks around, a sign or parentheses, thousands separators in the
// integer part, a decimal point, an exponent; "&H" hex and "&O" octal integers.
HRESULT ParseNumber(std::u16string_view text, Num* out) {
  const std::u16string t = Trim(text);
  std::string s;
  for (char16_t c : t) {
    if (c > 0x7F) return DISP_E_TYPEMISMATCH;
    s.push_back(static_cast<char>(c));
  }
  if (s.empty()) return DISP_E_TYPEMISMATCH;
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, base);
    if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (ec != std::errc() || p != s.data() + s.size()) return DISP_E_TYPEMISMATCH;
    out->kind = Num::kUInt;
    out->u = v;
    return S_OK;
  }
  bool neg = false;
  size_t i = 0, e = s.size();
  if (s[0] == '(' && s.back() == ')') {
    neg = true;
    ++i;
    --e;
  } else if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  } else if (s.back() == '-' || s.back() == '+') {
    neg = s.back() == '-';
    --e;
  }
  std::string clean;
  bool digits = false, integral = true, sawPoint = false;
  for (; i < e; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      clean.push_back(c);
      digits = true;
    } else if (c == ',' && !sawPoint && digits) {
      continue;  // thousands separator
    } else if (c == '.' && !sawPoint) {
      sawPoint = true;
      integral = false;
      clean.push_back(c);
    } else if ((c == 'e' || c == 'E') && digits) {
      integral = false;
      clean.push_back('e');
      if (i + 1 < e && (s[i + 1] == '+' || s[i + 1] == '-')) clean.push_back(s[++i]);
      if (i + 1 >= e) return DISP_E_TYPEMISMATCH;
      for (++i; i < e; ++i) {
        if (s[i] < '0' || s[i] > '9') return DISP_E_TYPEMISMATCH;
        clean.push_back(s[i]);
      }
      break;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  if (integral) {
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(clean.data(), clean.data() + clean.size(), v);
    if (ec == std::errc() && p == clean.data() + clean.size()) {
      if (!neg) {
        out->kind = v <= static_cast<uint64_t>(INT64_MAX) ? Num::kInt : Num::kUInt;
        out->i = static_cast<int64_t>(v);
        out->u = v;
        return S_OK;
      }
      if (v <= static_cast<uint64_t>(INT64_MAX) + 1) {
        out->kind = Num::kInt;
        out->i = static_cast<int64_t>(0 - v);
        return S_OK;
      }
    }
  }
  double d = 0;
  auto [p, ec] = std::from_chars(clean.data(), clean.data() + clean.size(), d);
  if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (ec != std::errc() || p != clean.data() + clean.size()) return DISP_E_TYPEMISMATCH;
  out->kind = Num::kReal;
  out->d = neg ? -d : d;
  return S_OK;
}

// ---- dates as text -----------------------------------------------------------

std::string FormatDate(double date, HRESULT* hr) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) {
    *hr = DISP_E_OVERFLOW;
    return {};
  }
  *hr = S_OK;
  char buf[64];
  const bool dateOnlyZero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  const bool timeZero = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  const int h12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
  const char* ampm = st.wHour < 12 ? "AM" : "PM";
  if (dateOnlyZero) {
    std::snprintf(buf, sizeof(buf), "%d:%02d:%02d %s", h12, st.wMinute, st.wSecond, ampm);
  } else if (timeZero) {
    std::snprintf(buf, sizeof(buf), "%d/%d/%d", st.wMonth, st.wDay, st.wYear);
  } else {
    std::snprintf(buf, sizeof(buf), "%d/%d/%d %d:%02d:%02d %s", st.wMonth, st.wDay, st.wYear, h12,
                  st.wMinute, st.wSecond, ampm);
  }
  return buf;
}

// Date text: "M/D/YYYY", "YYYY-MM-DD" (or with slashes), optionally followed by (or
// consisting only of) a time "h:mm[:ss] [AM|PM]"; "T" may join an ISO date and time.
HRESULT ParseDate(std::u16string_view text, double* out) {
  const std::string s = Narrow(Trim(text));
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  auto number = [&](int* v, int* ndigits) {
    *v = 0;
    *ndigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && *ndigits < 5) {
      *v = *v * 10 + (s[i] - '0');
      ++i;
      ++*ndigits;
    }
    return *ndigits > 0;
  };
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  bool haveDate = false, haveTime = false;
  const size_t start = i;
  int a, na;
  if (number(&a, &na) && i < s.size() && (s[i] == '/' || s[i] == '-')) {
    const char sep = s[i++];
    int b, nb, c, nc;
    if (!number(&b, &nb) || i >= s.size() || s[i] != sep) return DISP_E_TYPEMISMATCH;
    ++i;
    if (!number(&c, &nc)) return DISP_E_TYPEMISMATCH;
    if (na == 4) {  // year first
      year = a;
      month = b;
      day = c;
    } else {
      month = a;
      day = b;
      year = nc <= 2 ? (c < 30 ? 2000 + c : 1900 + c) : c;
    }
    haveDate = true;
    if (i < s.size() && (s[i] == 'T' || s[i] == 't')) ++i;
  } else {
    i = start;
  }
  skipBlanks();
  if (i < s.size()) {
    int h, nh, m, nm;
    if (!number(&h, &nh) || i >= s.size() || s[i] != ':') return DISP_E_TYPEMISMATCH;
    ++i;
    if (!number(&m, &nm)) return DISP_E_TYPEMISMATCH;
    int sec = 0, nsec;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!number(&sec, &nsec)) return DISP_E_TYPEMISMATCH;
    }
    skipBlanks();
    if (i < s.size()) {
      const std::string rest = s.substr(i);
      const bool am = rest == "AM" || rest == "am" || rest == "A" || rest == "a";
      const bool pm = rest == "PM" || rest == "pm" || rest == "P" || rest == "p";
      if (!am && !pm) return DISP_E_TYPEMISMATCH;
      if (h < 1 || h > 12) return DISP_E_TYPEMISMATCH;
      h = h % 12 + (pm ? 12 : 0);
      i = s.size();
    }
    hour = h;
    minute = m;
    second = sec;
    haveTime = true;
  }
  if (!haveDate && !haveTime) return DISP_E_TYPEMISMATCH;
  if (year > 9999 || hour > 23 || minute > 59 || second > 59) return DISP_E_TYPEMISMATCH;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  return SystemTimeToVariantTime(&st, out) ? S_OK : DISP_E_TYPEMISMATCH;
}

std::string FormatReal(double d, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.*G", digits, d);
  return buf;
}

// ---- the conversion ------------------------------------------------------------

bool IsNumberTarget(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_BOOL:
      return true;
    default:
      return false;
  }
}

HRESULT ToNum(const VARIANT& s, Num* n) {
  switch (s.vt) {
    case VT_EMPTY:
      n->kind = Num::kInt;
      n->i = 0;
      return S_OK;
    case VT_I1:
      n->kind = Num::kInt;
      n->i = s.cVal;
      return S_OK;
    case VT_UI1:
      n->kind = Num::kInt;
      n->i = s.bVal;
      return S_OK;
    case VT_I2:
      n->kind = Num::kInt;
      n->i = s.iVal;
      return S_OK;
    case VT_UI2:
      n->kind = Num::kInt;
      n->i = s.uiVal;
      return S_OK;
    case VT_I4:
      n->kind = Num::kInt;
      n->i = s.lVal;
      return S_OK;
    case VT_INT:
      n->kind = Num::kInt;
      n->i = s.intVal;
      return S_OK;
    case VT_UI4:
      n->kind = Num::kInt;
      n->i = s.ulVal;
      return S_OK;
    case VT_UINT:
      n->kind = Num::kInt;
      n->i = s.uintVal;
      return S_OK;
    case VT_I8:
      n->kind = Num::kInt;
      n->i = s.llVal;
      return S_OK;
    case VT_UI8:
      n->kind = Num::kUInt;
      n->u = s.ullVal;
      return S_OK;
    case VT_BOOL:
      n->kind = Num::kInt;
      n->i = s.boolVal ? -1 : 0;
      return S_OK;
    case VT_R4:
      n->kind = Num::kReal;
      n->d = s.fltVal;
      return S_OK;
    case VT_R8:
      n->kind = Num::kReal;
      n->d = s.dblVal;
      return S_OK;
    case VT_DATE:
      n->kind = Num::kReal;
      n->d = s.date;
      return S_OK;
    case VT_CY:
      n->kind = Num::kReal;
      n->d = static_cast<double>(s.llVal) / 10000.0;
      return S_OK;
    case VT_BSTR:
      return ParseNumber(s.bstrVal ? std::u16string_view(s.bstrVal, SysStringLen(s.bstrVal))
                                   : std::u16string_view(),
                         n);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Integers: the real value is rounded half to even, as OLE does.
template <class T>
HRESULT ToIntegral(const Num& n, T* out) {
  using L = std::numeric_limits<T>;
  if (n.kind == Num::kInt) {
    if constexpr (std::is_signed_v<T>) {
      if (n.i < static_cast<int64_t>(L::min()) || n.i > static_cast<int64_t>(L::max()))
        return DISP_E_OVERFLOW;
    } else {
      if (n.i < 0 || static_cast<uint64_t>(n.i) > static_cast<uint64_t>(L::max()))
        return DISP_E_OVERFLOW;
    }
    *out = static_cast<T>(n.i);
    return S_OK;
  }
  if (n.kind == Num::kUInt) {
    if (n.u > static_cast<uint64_t>(L::max())) return DISP_E_OVERFLOW;
    *out = static_cast<T>(n.u);
    return S_OK;
  }
  if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
  const double r = std::nearbyint(n.d);
  // Bounds as doubles: min is exact; max + 1 is a power of two and exact too.
  const double lo = static_cast<double>(L::min());
  const double hiExcl = std::ldexp(1.0, L::digits);
  if (r < lo || r >= hiExcl) return DISP_E_OVERFLOW;
  *out = static_cast<T>(r);
  return S_OK;
}

HRESULT NumTo(const Num& n, VARTYPE to, VARIANT* out) {
  HRESULT hr = S_OK;
  switch (to) {
    case VT_I1:
      hr = ToIntegral(n, reinterpret_cast<int8_t*>(&out->cVal));
      break;
    case VT_UI1:
      hr = ToIntegral(n, &out->bVal);
      break;
    case VT_I2:
      hr = ToIntegral(n, &out->iVal);
      break;
    case VT_UI2:
      hr = ToIntegral(n, &out->uiVal);
      break;
    case VT_I4:
      hr = ToIntegral(n, &out->lVal);
      break;
    case VT_INT:
      hr = ToIntegral(n, &out->intVal);
      break;
    case VT_UI4:
      hr = ToIntegral(n, &out->ulVal);
      break;
    case VT_UINT:
      hr = ToIntegral(n, &out->uintVal);
      break;
    case VT_I8:
      hr = ToIntegral(n, &out->llVal);
      break;
    case VT_UI8:
      hr = ToIntegral(n, &out->ullVal);
      break;
    case VT_R4: {
      const double d = n.AsDouble();
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      out->dblVal = n.AsDouble();
      break;
    case VT_DATE: {
      const double d = n.AsDouble();
      if (!(d >= -657434.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
      out->date = d;
      break;
    }
    case VT_CY: {
      const double d = n.AsDouble() * 10000.0;
      if (!(d >= -9.2233720368547758e18 && d < 9.2233720368547758e18)) return DISP_E_OVERFLOW;
      out->llVal = static_cast<int64_t>(std::nearbyint(d));
      break;
    }
    case VT_BOOL:
      out->boolVal = (n.kind == Num::kInt    ? n.i != 0
                      : n.kind == Num::kUInt ? n.u != 0
                                             : n.d != 0)
                         ? VARIANT_TRUE
                         : VARIANT_FALSE;
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) return hr;
  out->vt = to;
  return S_OK;
}

HRESULT MakeBstr(const std::string& s, VARIANT* out) {
  const std::u16string w = Widen(s);
  out->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  if (!out->bstrVal) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  return S_OK;
}

HRESULT ToText(const VARIANT& s, USHORT flags, VARIANT* out) {
  switch (s.vt) {
    case VT_EMPTY:
      return MakeBstr("", out);
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        return MakeBstr(s.boolVal ? "True" : "False", out);
      return MakeBstr(s.boolVal ? "-1" : "0", out);
    case VT_R4:
      return MakeBstr(FormatReal(s.fltVal, 7), out);
    case VT_R8:
      return MakeBstr(FormatReal(s.dblVal, 15), out);
    case VT_CY:
      return MakeBstr(FormatReal(static_cast<double>(s.llVal) / 10000.0, 19), out);
    case VT_DATE: {
      HRESULT hr;
      const std::string t = FormatDate(s.date, &hr);
      return FAILED(hr) ? hr : MakeBstr(t, out);
    }
    case VT_UI8:
      return MakeBstr(std::to_string(s.ullVal), out);
    default: {
      Num n;
      if (s.vt == VT_BSTR || FAILED(ToNum(s, &n)) || n.kind != Num::kInt)
        return DISP_E_TYPEMISMATCH;
      return MakeBstr(std::to_string(n.i), out);
    }
  }
}

HRESULT Convert(const VARIANT& src, VARTYPE to, USHORT flags, LCID lcid, VARIANT* out, int depth);

// An object converts to a scalar through its default (DISPID_VALUE) property.
HRESULT FromDefaultValue(IDispatch* disp, VARTYPE to, USHORT flags, LCID lcid, VARIANT* out,
                         int depth) {
  if (!disp || (flags & VARIANT_NOVALUEPROP) || depth > 2) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  VARIANT plain;
  hr = Deref(&value, &plain);
  if (SUCCEEDED(hr)) hr = Convert(plain, to, flags, lcid, out, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT Convert(const VARIANT& s, VARTYPE to, USHORT flags, LCID lcid, VARIANT* out, int depth) {
  VariantInit(out);
  if (s.vt == to) return VariantCopy(out, &s);
  if (to == VT_EMPTY) return S_OK;
  if (s.vt == VT_NULL) {
    if (to == VT_NULL) {
      out->vt = VT_NULL;
      return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
  }
  if (to == VT_NULL) {
    if (s.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    out->vt = VT_NULL;
    return S_OK;
  }
  if (s.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (to == VT_ERROR) {
    Num n;
    if (s.vt == VT_BSTR || s.vt == VT_BOOL || s.vt == VT_EMPTY || FAILED(ToNum(s, &n)) ||
        n.kind != Num::kInt)
      return DISP_E_TYPEMISMATCH;
    int32_t code;
    if (n.i < INT32_MIN || n.i > static_cast<int64_t>(UINT32_MAX)) return DISP_E_OVERFLOW;
    code = static_cast<int32_t>(static_cast<uint32_t>(n.i));
    out->vt = VT_ERROR;
    out->scode = code;
    return S_OK;
  }
  if (to == VT_UNKNOWN || to == VT_DISPATCH) {
    if (s.vt == VT_EMPTY) {
      out->vt = to;
      out->punkVal = nullptr;
      return S_OK;
    }
    if (s.vt != VT_UNKNOWN && s.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    IUnknown* p = s.punkVal;
    void* q = nullptr;
    if (p) {
      const HRESULT hr = p->QueryInterface(to == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &q);
      if (FAILED(hr)) return to == VT_DISPATCH ? E_NOINTERFACE : hr;
    }
    out->vt = to;
    out->punkVal = static_cast<IUnknown*>(q);
    return S_OK;
  }
  if (s.vt == VT_DISPATCH) return FromDefaultValue(s.pdispVal, to, flags, lcid, out, depth);
  if (s.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (to == VT_BSTR) return ToText(s, flags, out);
  if (!IsNumberTarget(to)) return DISP_E_BADVARTYPE;
  if (s.vt == VT_BSTR) {
    const std::u16string_view text =
        s.bstrVal ? std::u16string_view(s.bstrVal, SysStringLen(s.bstrVal)) : std::u16string_view();
    if (to == VT_BOOL) {
      const std::u16string t = Trim(text);
      if (EqualNoCase(t, "true") || EqualNoCase(t, "#true#")) {
        out->vt = VT_BOOL;
        out->boolVal = VARIANT_TRUE;
        return S_OK;
      }
      if (EqualNoCase(t, "false") || EqualNoCase(t, "#false#")) {
        out->vt = VT_BOOL;
        out->boolVal = VARIANT_FALSE;
        return S_OK;
      }
    }
    if (to == VT_DATE) {
      double d;
      const HRESULT hr = ParseDate(text, &d);
      if (FAILED(hr)) return hr;
      out->vt = VT_DATE;
      out->date = d;
      return S_OK;
    }
  }
  Num n;
  const HRESULT hr = ToNum(s, &n);
  if (FAILED(hr)) return hr;
  return NumTo(n, to, out);
}

}  // namespace

void WINAPI VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof(*pvarg));
  pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!(vt & VT_BYREF)) {
    if (!KnownPlainType(vt)) return DISP_E_BADVARTYPE;
    if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  const VARTYPE vt = pvargSrc->vt;
  if (!(vt & VT_BYREF) && !KnownPlainType(vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  if (vt == VT_BSTR && copy.bstrVal) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                         SysStringByteLen(pvargSrc->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && copy.punkVal) {
    copy.punkVal->AddRef();
  }
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (!pvarDest || !pvargSrc) return E_INVALIDARG;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  VARIANT plain;
  HRESULT hr = Deref(pvargSrc, &plain);
  if (FAILED(hr)) return hr;
  VARIANT copy;
  VariantInit(&copy);
  hr = VariantCopy(&copy, &plain);
  if (FAILED(hr)) return hr;
  VariantClear(pvarDest);
  *pvarDest = copy;
  return S_OK;
}

HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                   USHORT wFlags, VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (vt & (VT_BYREF | VT_ARRAY)) return DISP_E_BADVARTYPE;
  VARIANT plain;
  HRESULT hr = Deref(pvarSrc, &plain);
  if (FAILED(hr)) return hr;
  if (!KnownPlainType(plain.vt) || plain.vt == VT_RECORD) return DISP_E_BADVARTYPE;
  // The result is built apart, so that dest may be src and a failure leaves dest as it was.
  VARIANT result;
  hr = Convert(plain, vt, wFlags, lcid, &result, 0);
  if (FAILED(hr)) return hr;
  VariantClear(pvargDest);
  *pvargDest = result;
  return S_OK;
}

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                 VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
