#include "core/FieldMap.h"

#include <algorithm>
#include <cstring>
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

// ---- FieldMap --------------------------------------------------------------------

// Names are mostly 8 to 30 units long: they are hashed eight bytes at a step, the last step
// reading the last eight bytes (overlapping the one before) rather than copying a short tail
// byte by byte, and the high bits are folded down because the slot is taken from the low ones.
uint32_t FieldMap::Hash(std::u16string_view key) {
  const auto* p = reinterpret_cast<const unsigned char*>(key.data());
  const size_t n = key.size() * sizeof(char16_t);
  auto load = [](const unsigned char* at, auto word) {
    std::memcpy(&word, at, sizeof word);
    return static_cast<uint64_t>(word);
  };
  uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
  if (n >= 8) {
    size_t at = 0;
    for (; at + 8 < n; at += 8) {
      h = (h ^ load(p + at, uint64_t{})) * 0xff51afd7ed558ccdull;
      h ^= h >> 32;
    }
    h ^= load(p + n - 8, uint64_t{});
  } else if (n >= 4) {
    h ^= load(p, uint32_t{}) | load(p + n - 4, uint32_t{}) << 32;
  } else if (n == 2) {
    h ^= load(p, uint16_t{});
  }
  h *= 0xc4ceb9fe1a85ec53ull;
  return static_cast<uint32_t>(h ^ (h >> 29));
}

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// An index slot: the name's hash above, its entry number + 1 below (0: a free slot).
constexpr uint64_t SlotOf(uint32_t hash, size_t entry) {
  return uint64_t{hash} << 32 | static_cast<uint32_t>(entry + 1);
}
}  // namespace

FieldMap::FieldMap(const FieldMap& other) { *this = other; }

FieldMap& FieldMap::operator=(const FieldMap& other) {
  if (this == &other) return *this;
  FieldMap copy;
  for (const Entry& e : other) copy.emplace(e.first, e.second);
  *this = std::move(copy);
  return *this;
}

void FieldMap::clear() {
  for (size_t i = 0; i < m_size; ++i) {
    Variant& value = m_entries[i]->second;
    if (value.vt() != VT_EMPTY) value = Variant();  // values moved out are empty already
  }
  m_size = 0;
  std::fill(m_index.begin(), m_index.end(), uint64_t{0});
}

FieldMap::Found FieldMap::Slot(std::u16string_view key, uint32_t hash) const {
  if (m_index.empty()) return {0, kNone, hash};
  const size_t mask = m_index.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint64_t held = m_index[slot];
    if (held == 0) return {slot, kNone, hash};
    const uint32_t entry = static_cast<uint32_t>(held) - 1;
    if (held >> 32 == hash && SameName(m_entries[entry]->first, key)) return {slot, entry, hash};
  }
}

void FieldMap::Reindex(size_t slots) {
  m_index.assign(slots, 0u);
  const size_t mask = slots - 1;
  for (size_t i = 0; i < m_size; ++i) {
    const uint32_t hash = Hash(m_entries[i]->first);
    size_t slot = hash & mask;
    while (m_index[slot] != 0) slot = (slot + 1) & mask;
    m_index[slot] = SlotOf(hash, i);
  }
}

FieldMap::iterator FieldMap::find(std::u16string_view key, uint32_t hash) {
  const uint32_t at = Slot(key, hash).entry;
  return at == kNone ? end() : iterator(m_entries.data() + at);
}

FieldMap::const_iterator FieldMap::find(std::u16string_view key, uint32_t hash) const {
  const uint32_t at = Slot(key, hash).entry;
  return at == kNone ? end() : const_iterator(m_entries.data() + at);
}

std::pair<FieldMap::iterator, bool> FieldMap::try_emplace(std::u16string_view key) {
  Found found = Slot(key, Hash(key));
  if (found.entry != kNone) return {iterator(m_entries.data() + found.entry), false};
  // At most half the slots are used, so a probe always meets a free one soon.
  if ((m_size + 1) * 2 > m_index.size()) {
    Reindex(m_index.empty() ? 32 : m_index.size() * 2);
    found = Slot(key, found.hash);
  }
  if (m_size == m_entries.size()) m_entries.push_back(std::make_unique<Entry>());
  Entry& entry = *m_entries[m_size];
  entry.first.assign(key);
  m_index[found.slot] = SlotOf(found.hash, m_size);
  return {iterator(m_entries.data() + m_size++), true};
}

std::pair<FieldMap::iterator, bool> FieldMap::emplace(std::u16string_view key, Variant value) {
  auto result = try_emplace(key);
  if (result.second) result.first->second = std::move(value);
  return result;
}

std::pair<FieldMap::iterator, bool> FieldMap::insert_or_assign(std::u16string_view key,
                                                               Variant value) {
  auto result = try_emplace(key);
  result.first->second = std::move(value);
  return result;
}

FieldMap::iterator FieldMap::erase(const_iterator pos) {
  const size_t at = static_cast<size_t>(pos.p_ - m_entries.data());
  if (at >= m_size) return end();
  m_entries[at]->second = Variant();
  // The entries after it close up in order; its storage goes to the spare end.
  std::rotate(m_entries.begin() + static_cast<std::ptrdiff_t>(at),
              m_entries.begin() + static_cast<std::ptrdiff_t>(at) + 1,
              m_entries.begin() + static_cast<std::ptrdiff_t>(m_size));
  --m_size;
  Reindex(m_index.size());
  return iterator(m_entries.data() + at);
}

size_t FieldMap::erase(std::u16string_view key) {
  const uint32_t at = Slot(key, Hash(key)).entry;
  if (at == kNone) return 0;
  erase(const_iterator(m_entries.data() + at));
  return 1;
}

// ---- Reads and writes -------------------------------------------------------------

const Variant* FindField(const FieldMap& map, std::u16string_view key) {
  auto it = map.find(key);
  return it == map.end() ? nullptr : std::addressof(it->second);
}

const Variant& FieldAt(const FieldMap& map, std::u16string_view key) {
  const Variant* v = FindField(map, key);
  if (!v) throw _map_not_found_error();
  return *v;
}

bool HasField(const FieldMap& map, std::u16string_view key) { return map.contains(key); }

void PutField(FieldMap& map, std::u16string_view key, const VARIANT& value) {
  Variant& slot = map.try_emplace(key).first->second;
  HRESULT hr = VariantCopy(slot.Ptr(), &value);
  if (FAILED(hr)) ThrowAtl(hr);
}

void PutField(FieldMap& map, std::u16string_view key, Variant&& value) {
  map.insert_or_assign(key, std::move(value));
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
