// The field map: column name -> value, the form in which items travel to and from device
// records. Names compare exactly (case-sensitive); keys that are no column name are allowed
// (tables add "SUID" and read entries no column has).
//
// The typed reads never convert between VARIANT types: an entry of another type counts as
// missing and the caller's default comes back.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "wincompat/comptr.h"

namespace qwb {

// Lets lookups take a u16string_view or a literal without building a std::u16string.
struct FieldNameHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view s) const noexcept {
    return std::hash<std::u16string_view>{}(s);
  }
};

using FieldMap = std::unordered_map<std::u16string, Variant, FieldNameHash, std::equal_to<>>;

// The entry under `key`; raises _map_not_found_error when there is none.
const Variant& FieldAt(const FieldMap& map, std::u16string_view key);
// The entry under `key` or null.
const Variant* FindField(const FieldMap& map, std::u16string_view key);
bool HasField(const FieldMap& map, std::u16string_view key);

// Stores a copy of `value` under `key`, replacing what was there. A failed copy raises a
// CAtlException with its HRESULT.
void PutField(FieldMap& map, std::u16string_view key, const VARIANT& value);
inline void PutField(FieldMap& map, std::u16string_view key, const Variant& value) {
  PutField(map, key, value.Get());
}
// Stores `value` itself under `key` (no copy), replacing what was there.
void PutField(FieldMap& map, std::u16string_view key, Variant&& value);

// Typed reads with a default for a missing key or another VARIANT type.
// 32-bit integer: VT_I4 or VT_INT.
LONG ReadFieldI4(const FieldMap& map, std::u16string_view key, LONG defaultValue);
// Unsigned 32-bit integer: VT_UI4 only.
ULONG ReadFieldUI4(const FieldMap& map, std::u16string_view key, ULONG defaultValue);
// Text: VT_BSTR only (a null BSTR reads as the empty text).
std::u16string ReadFieldString(const FieldMap& map, std::u16string_view key,
                               std::u16string_view defaultValue = {});
// Date: VT_DATE only.
DATE ReadFieldDate(const FieldMap& map, std::u16string_view key, DATE defaultValue);
// 16-bit boolean: VT_BOOL only.
VARIANT_BOOL ReadFieldBool(const FieldMap& map, std::u16string_view key, VARIANT_BOOL defaultValue);

}  // namespace qwb
