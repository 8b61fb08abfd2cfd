#include "core/ColumnsWM.h"

#include <new>

#include "core/Errors.h"

namespace qwb {

// Out of memory while a set is built is raised as E_OUTOFMEMORY, the way every internal
// routine reports it; the table constructor that asked for the set passes it on.
ComPtr<CColumnsWM> CColumnsWM::Create() {
  try {
    return ComPtr<CColumnsWM>(new CColumnsWM());
  } catch (const std::bad_alloc&) {
    ThrowAtl(E_OUTOFMEMORY);
  }
}

ComPtr<CColumnsWM> CColumnsWM::Create(const std::vector<ColumnSchemaEntry>& schema) {
  ComPtr<CColumnsWM> columns = Create();
  columns->SetColumns(schema.data(), static_cast<int>(schema.size()));
  return columns;
}

HRESULT CColumnsWM::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) {
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CColumnsWM::AddRef() { return ++m_cRef; }

ULONG CColumnsWM::Release() {
  ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

void CColumnsWM::SetColumns(const ColumnSchemaEntry* schema, int count) {
  m_columns.clear();
  m_ordinals.clear();
  m_lastOfName.clear();
  m_nameHashes.clear();
  if (!schema || count <= 0) return;
  try {
    m_columns.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      m_columns.push_back(ColumnDesc{schema[i].name, schema[i].vt, 0});
      m_ordinals.insert_or_assign(schema[i].name, static_cast<ULONG>(i));
      m_nameHashes.push_back(FieldMap::Hash(schema[i].name));
    }
    m_lastOfName.resize(m_columns.size());
    for (const auto& [name, ordinal] : m_ordinals) m_lastOfName[ordinal] = true;
  } catch (const std::bad_alloc&) {
    // A half-built set is never used: leave it empty.
    m_columns.clear();
    m_ordinals.clear();
    m_lastOfName.clear();
    m_nameHashes.clear();
    ThrowAtl(E_OUTOFMEMORY);
  }
}

bool CColumnsWM::FindOrdinal(std::u16string_view name, ULONG* pOrdinal) const {
  auto it = m_ordinals.find(name);
  if (it == m_ordinals.end()) return false;
  if (pOrdinal) *pOrdinal = it->second;
  return true;
}

}  // namespace qwb
