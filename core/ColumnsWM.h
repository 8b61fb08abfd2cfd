// CColumnsWM: the columns of one item type, in order, with a name -> ordinal map. Built once
// per table from the item type's static schema and shared, counted, by every item of that
// type, so it outlives its table as long as an item holds it. An internal object: it answers
// IUnknown only and is never handed to the host.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/FieldMap.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace qwb {

// One entry of a column schema.
struct ColumnSchemaEntry {
  std::u16string name;
  VARTYPE vt;
};

// One column of a set. `reserved` is always 0; it keeps the descriptor's shape.
struct ColumnDesc {
  std::u16string name;
  VARTYPE vt = VT_EMPTY;
  DWORD reserved = 0;
};

class CColumnsWM : public IUnknown {
 public:
  // A new, empty set with one reference.
  static ComPtr<CColumnsWM> Create();
  // A new set filled from `schema`, with one reference.
  static ComPtr<CColumnsWM> Create(const std::vector<ColumnSchemaEntry>& schema);

  CColumnsWM(const CColumnsWM&) = delete;
  CColumnsWM& operator=(const CColumnsWM&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // Empties the set, then appends `count` entries of `schema` in order, each name mapped to
  // its ordinal (a repeated name keeps the later ordinal). A count of 0 or less leaves the
  // set empty.
  void SetColumns(const ColumnSchemaEntry* schema, int count);

  ULONG GetCount() const { return static_cast<ULONG>(m_columns.size()); }
  // The column at `ordinal`; the caller checks the bound.
  const ColumnDesc& GetColumn(ULONG ordinal) const { return m_columns[ordinal]; }
  // Exact-name lookup.
  bool FindOrdinal(std::u16string_view name, ULONG* pOrdinal) const;
  // Whether no later column has this column's name; the caller checks the bound.
  bool IsLastOfName(ULONG ordinal) const { return m_lastOfName[ordinal]; }
  // FieldMap::Hash of the column's name, worked out once.
  uint32_t NameHash(ULONG ordinal) const { return m_nameHashes[ordinal]; }

 private:
  CColumnsWM() = default;
  virtual ~CColumnsWM() = default;

  std::atomic<ULONG> m_cRef{0};
  std::vector<ColumnDesc> m_columns;
  std::vector<bool> m_lastOfName;
  std::vector<uint32_t> m_nameHashes;
  std::unordered_map<std::u16string, ULONG, FieldNameHash, std::equal_to<>> m_ordinals;
};

}  // namespace qwb
