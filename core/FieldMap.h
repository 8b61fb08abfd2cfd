// The field map: column name -> value, the form in which items travel to and from device
// records. Names compare exactly (case-sensitive); keys that are no column name are allowed
// (tables add "SUID" and read entries no column has).
//
// The typed reads never convert between VARIANT types: an entry of another type counts as
// missing and the caller's default comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "wincompat/comptr.h"

namespace qwb {

// Lets lookups take a u16string_view or a literal without building a std::u16string.
struct FieldNameHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view s) const noexcept {
    return std::hash<std::u16string_view>{}(s);
  }
};

// Column name -> value, iterated in the order the names were first put. A table fills one
// for every record it reads, so the map is made to be cleared and filled again: clear()
// keeps the entries' storage and their key strings, and a record of the same shape as the
// last one is filled without allocating anything but its values. Entries never move while
// the map lives (a reference taken from one stays good while others are put), as with a
// node-based map; erase() is rare and costs a pass over the map.
class FieldMap {
 public:
  using Entry = std::pair<std::u16string, Variant>;

  template <class E>
  class Iter {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = E*;
    using reference = E&;
    Iter() = default;
    explicit Iter(const std::unique_ptr<Entry>* p) : p_(p) {}
    template <class O, class = std::enable_if_t<std::is_const_v<E> && !std::is_const_v<O>>>
    Iter(const Iter<O>& o) : p_(o.p_) {}
    E& operator*() const { return **p_; }
    E* operator->() const { return p_->get(); }
    Iter& operator++() {
      ++p_;
      return *this;
    }
    Iter operator++(int) {
      Iter old = *this;
      ++p_;
      return old;
    }
    friend bool operator==(const Iter& a, const Iter& b) { return a.p_ == b.p_; }

   private:
    template <class>
    friend class Iter;
    friend class FieldMap;
    const std::unique_ptr<Entry>* p_ = nullptr;
  };
  using iterator = Iter<Entry>;
  using const_iterator = Iter<const Entry>;

  FieldMap() = default;
  FieldMap(const FieldMap& other);
  FieldMap(FieldMap&&) noexcept = default;
  FieldMap& operator=(const FieldMap& other);
  FieldMap& operator=(FieldMap&&) noexcept = default;
  ~FieldMap() = default;

  iterator begin() { return iterator(m_entries.data()); }
  iterator end() { return iterator(m_entries.data() + m_size); }
  const_iterator begin() const { return const_iterator(m_entries.data()); }
  const_iterator end() const { return const_iterator(m_entries.data() + m_size); }
  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }

  // Drops every entry and keeps the storage for the next fill.
  void clear();

  iterator find(std::u16string_view key) { return find(key, Hash(key)); }
  const_iterator find(std::u16string_view key) const { return find(key, Hash(key)); }
  // The same with the key's Hash() worked out beforehand, for names looked up again and again.
  iterator find(std::u16string_view key, uint32_t hash);
  const_iterator find(std::u16string_view key, uint32_t hash) const;
  static uint32_t Hash(std::u16string_view key);
  bool contains(std::u16string_view key) const { return Slot(key, Hash(key)).entry != kNone; }
  size_t count(std::u16string_view key) const { return contains(key) ? 1 : 0; }

  // The entry under `key`, made empty (VT_EMPTY) when there was none; `inserted` says which.
  std::pair<iterator, bool> try_emplace(std::u16string_view key);
  std::pair<iterator, bool> emplace(std::u16string_view key, Variant value);
  Variant& operator[](std::u16string_view key) { return try_emplace(key).first->second; }
  std::pair<iterator, bool> insert_or_assign(std::u16string_view key, Variant value);

  size_t erase(std::u16string_view key);
  iterator erase(const_iterator pos);

 private:
  static constexpr uint32_t kNone = ~uint32_t{0};
  // The index slot for `key` and the entry it holds (kNone when the key is absent; the slot
  // is then the free one where it would go).
  struct Found {
    size_t slot;
    uint32_t entry;
    uint32_t hash;
  };
  Found Slot(std::u16string_view key, uint32_t hash) const;
  void Reindex(size_t slots);

  std::vector<std::unique_ptr<Entry>> m_entries;  // [0, m_size) live, the rest kept for reuse
  size_t m_size = 0;
  std::vector<uint64_t> m_index;  // open addressing: hash << 32 | entry number + 1; 0 = free
};

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
