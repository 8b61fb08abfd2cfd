#include "core/FieldMap.h"

#include <memory>
#include <utility>

#include "core/Errors.h"

namespace qwb {
namespace {

// Each read looks up and extracts through these, which raise; the public reads catch and
// fall back to the caller's default.
LONG ExtractI4(const Variant& v) {
  if (v.vt() == VT_I4) return v.Get().lVal;
  if (v.vt() == VT_INT) return v.Get().intVal;
  throw _variant_extract_error();
}

ULONG ExtractUI4(const Variant& v) {
  if (v.vt() != VT_UI4) throw _variant_extract_error();
  return v.Get().ulVal;
}

std::u16string ExtractString(const Variant& v) {
  if (v.vt() != VT_BSTR) throw _variant_extract_error();
  BSTR b = v.Get().bstrVal;
  return b ? std::u16string(b, SysStringLen(b)) : std::u16string();
}

DATE ExtractDate(const Variant& v) {
  if (v.vt() != VT_DATE) throw _variant_extract_error();
  return v.Get().date;
}

VARIANT_BOOL ExtractBool(const Variant& v) {
  if (v.vt() != VT_BOOL) throw _variant_extract_error();
  return v.Get().boolVal;
}

template <class T, class Extract>
T ReadWithDefault(const FieldMap& map, std::u16string_view key, T defaultValue, Extract extract) {
  try {
    return extract(FieldAt(map, key));
  } catch (const _map_not_found_error&) {
    return defaultValue;
  } catch (const _variant_extract_error&) {
    return defaultValue;
  }
}

}  // namespace

const Variant* FindField(const FieldMap& map, std::u16string_view key) {
  auto it = map.find(key);
  return it == map.end() ? nullptr : std::addressof(it->second);
}

const Variant& FieldAt(const FieldMap& map, std::u16string_view key) {
  const Variant* v = FindField(map, key);
  if (!v) throw _map_not_found_error();
  return *v;
}

bool HasField(const FieldMap& map, std::u16string_view key) { return map.find(key) != map.end(); }

void PutField(FieldMap& map, std::u16string_view key, const VARIANT& value) {
  auto it = map.find(key);
  if (it == map.end()) it = map.emplace(std::u16string(key), Variant()).first;
  HRESULT hr = VariantCopy(it->second.Ptr(), &value);
  if (FAILED(hr)) ThrowAtl(hr);
}

void PutField(FieldMap& map, std::u16string_view key, Variant&& value) {
  auto it = map.find(key);
  if (it == map.end())
    map.emplace(std::u16string(key), std::move(value));
  else
    it->second = std::move(value);
}

LONG ReadFieldI4(const FieldMap& map, std::u16string_view key, LONG defaultValue) {
  return ReadWithDefault(map, key, defaultValue, ExtractI4);
}

ULONG ReadFieldUI4(const FieldMap& map, std::u16string_view key, ULONG defaultValue) {
  return ReadWithDefault(map, key, defaultValue, ExtractUI4);
}

std::u16string ReadFieldString(const FieldMap& map, std::u16string_view key,
                               std::u16string_view defaultValue) {
  return ReadWithDefault(map, key, std::u16string(defaultValue), ExtractString);
}

DATE ReadFieldDate(const FieldMap& map, std::u16string_view key, DATE defaultValue) {
  return ReadWithDefault(map, key, defaultValue, ExtractDate);
}

VARIANT_BOOL ReadFieldBool(const FieldMap& map, std::u16string_view key,
                           VARIANT_BOOL defaultValue) {
  return ReadWithDefault(map, key, defaultValue, ExtractBool);
}

}  // namespace qwb
