#include "core/ItemWMBase.h"

#include <new>
#include <type_traits>
#include <utility>

#include "core/Errors.h"
#include "core/MethodFrame.h"

namespace qwb {
namespace {

// Answered only to the component itself, so that a table can tell its own items from
// foreign IItem objects a host might hand in. Hosts never learn it.
constexpr IID kIID_ItemWMBaseSelf = {
    0x5B0C3E2A, 0x8D41, 0x4F6E, {0x9A, 0x1C, 0x3E, 0x72, 0xD4, 0x05, 0xB8, 0x61}};

}  // namespace

CItemWMBase::CItemWMBase(DCADATATYPE type) : m_type(type) {}

CItemWMBase::~CItemWMBase() = default;

CItemWMBase* CItemWMBase::FromItem(IItem* pItem) {
  if (!pItem) return nullptr;
  void* self = nullptr;
  if (FAILED(pItem->QueryInterface(kIID_ItemWMBaseSelf, &self)) || !self) return nullptr;
  auto* item = static_cast<CItemWMBase*>(self);
  item->Release();  // the caller's own reference keeps the item alive
  return item;
}

HRESULT CItemWMBase::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IItem || riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppv = static_cast<IItem*>(this);
  } else if (riid == IID_ISupportErrorInfo) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else if (riid == kIID_ItemWMBaseSelf) {
    *ppv = this;
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CItemWMBase::AddRef() { return ++m_cRef; }

ULONG CItemWMBase::Release() {
  ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

HRESULT CItemWMBase::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IItem ? S_OK : S_FALSE;
}

// ---- IItem --------------------------------------------------------------------

HRESULT CItemWMBase::get_SUID(SUID* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = m_suid;
  return S_OK;
}

HRESULT CItemWMBase::get_parent(SUID*) { return E_NOTIMPL; }

HRESULT CItemWMBase::getType(DCADATATYPE* newVal) {
  if (!newVal) return E_POINTER;
  *newVal = m_type;
  return S_OK;
}

HRESULT CItemWMBase::GetColumnCount(ULONG* count) {
  if (!m_pColumns || !count) return E_POINTER;
  *count = m_pColumns->GetCount();
  return S_OK;
}

HRESULT CItemWMBase::GetColumnInfo(ULONG, IColumnInfo**) { return E_NOTIMPL; }
HRESULT CItemWMBase::GetColumnFlags(ULONG, ULONG*) { return E_NOTIMPL; }
HRESULT CItemWMBase::GetLength(ULONG, ULONG*) { return E_NOTIMPL; }
HRESULT CItemWMBase::GetStatus(ULONG, ULONG*) { return E_NOTIMPL; }
HRESULT CItemWMBase::SetStatus(ULONG, ULONG) { return E_NOTIMPL; }

HRESULT CItemWMBase::GetColumnName(ULONG nColumn, BSTR* pName) {
  if (!m_pColumns || !pName) return E_POINTER;
  if (nColumn >= m_pColumns->GetCount()) return E_FAIL;
  return ItemMethodFrame([&]() -> HRESULT {
    const std::u16string& name = m_pColumns->GetColumn(nColumn).name;
    BSTR copy = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    if (!copy) ThrowAtl(E_OUTOFMEMORY);
    *pName = copy;
    return S_OK;
  });
}

HRESULT CItemWMBase::GetColumnType(ULONG nColumn, USHORT* pType) {
  if (!m_pColumns || !pType) return E_POINTER;
  if (nColumn >= m_pColumns->GetCount()) return E_FAIL;
  *pType = m_pColumns->GetColumn(nColumn).vt;
  return S_OK;
}

HRESULT CItemWMBase::GetOrdinal(BSTR ColumnName, ULONG* pOrdinal, LONG* pFound) {
  if (!m_pColumns || !pOrdinal || !pFound) return E_POINTER;
  std::u16string_view name;
  if (ColumnName) name = std::u16string_view(ColumnName, SysStringLen(ColumnName));
  ULONG ordinal = 0;
  if (m_pColumns->FindOrdinal(name, &ordinal)) {
    *pOrdinal = ordinal;
    *pFound = 1;
  } else {
    *pOrdinal = 0;
    *pFound = 0;
  }
  return S_OK;
}

HRESULT CItemWMBase::GetValue(ULONG col, VARIANT* pVal) {
  if (!m_pColumns || !pVal) return E_POINTER;
  return ItemMethodFrame([&]() -> HRESULT {
    EnsureValues();
    return VariantCopy(pVal, ValueSlot(col).Ptr());
  });
}

HRESULT CItemWMBase::SetValue(ULONG col, VARIANT newVal) {
  if (!m_pColumns) return E_POINTER;
  return ItemMethodFrame([&]() -> HRESULT {
    EnsureValues();
    ULONG ordinal = col < m_pColumns->GetCount() ? col : 0;
    CopyIntoColumn(ordinal, newVal);
    return S_OK;
  });
}

HRESULT CItemWMBase::ReadBlobTo(ULONG, BSTR) { return E_NOTIMPL; }
HRESULT CItemWMBase::WriteBlobFrom(ULONG, BSTR) { return E_NOTIMPL; }

// ---- Own operations ------------------------------------------------------------

void CItemWMBase::SetColumns(CColumnsWM* columns) {
  if (columns == m_pColumns.Get()) return;
  m_pColumns = ComPtr<CColumnsWM>(columns);
}

void CItemWMBase::SetSUID(SUID suid) { m_suid = suid; }

HRESULT CItemWMBase::SchemaConvertItem2Map(FieldMap& map) {
  if (!m_pColumns || m_pColumns->GetCount() == 0) return S_OK;
  const ULONG count = m_pColumns->GetCount();
  for (ULONG i = 0; i < count; ++i) {
    EnsureValues();
    const ColumnDesc& column = m_pColumns->GetColumn(i);
    Variant& value = ValueSlot(i);
    if (value.vt() != VT_EMPTY && value.vt() != column.vt) {
      // Converted into a scratch value so that a failure leaves the value untouched.
      Variant converted;
      if (SUCCEEDED(VariantChangeType(converted.Ptr(), value.Ptr(), 0, column.vt)))
        value = std::move(converted);
    }
    PutField(map, column.name, value);
  }
  return S_OK;
}

HRESULT CItemWMBase::SchemaConvertMap2Item(const FieldMap& map) { return MapToItem(map); }

HRESULT CItemWMBase::SchemaTakeMap2Item(FieldMap& map) { return MapToItem(map); }

template <class Map>
HRESULT CItemWMBase::MapToItem(Map& map) {
  constexpr bool kTake = !std::is_const_v<Map>;
  if (m_pColumns) {
    const ULONG count = m_pColumns->GetCount();
    for (ULONG i = 0; i < count; ++i) {
      const std::u16string& name = m_pColumns->GetColumn(i).name;
      auto entry = map.find(name, m_pColumns->NameHash(i));
      if (entry == map.end()) continue;
      EnsureValues();
      // A value is moved only into the last column of its name, and "SUID" stays for below.
      if (kTake && m_pColumns->IsLastOfName(i) && name != u"SUID")
        ValueSlot(i) = std::move(entry->second);
      else
        CopyIntoColumn(i, entry->second.Get());
    }
  }
  if (const Variant* suid = FindField(map, u"SUID")) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Ptr(), suid->Ptr(), 0, VT_I4);
    if (FAILED(hr)) ThrowComError(hr);
    m_suid = static_cast<SUID>(converted.Get().lVal);
  }
  return S_OK;
}

// ---- Value array ----------------------------------------------------------------

void CItemWMBase::EnsureValues() {
  if (!m_values.empty() || !m_pColumns) return;
  try {
    m_values.resize(m_pColumns->GetCount());
  } catch (const std::bad_alloc&) {
    ThrowAtl(E_OUTOFMEMORY);
  }
}

Variant& CItemWMBase::ValueSlot(ULONG col) {
  ULONG ordinal = (m_pColumns && col < m_pColumns->GetCount()) ? col : 0;
  if (ordinal >= m_values.size()) ThrowAtl(E_INVALIDARG);
  return m_values[ordinal];
}

void CItemWMBase::CopyIntoColumn(ULONG ordinal, const VARIANT& src) {
  Variant& slot = ValueSlot(ordinal);
  HRESULT hr = VariantCopy(slot.Ptr(), &src);
  if (FAILED(hr)) {
    VARIANT* v = slot.Out();
    v->vt = VT_ERROR;
    v->scode = hr;
    ThrowAtl(hr);
  }
}

}  // namespace qwb
