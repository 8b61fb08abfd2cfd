// CItemWMBase: one record of a data table as a row of VARIANT values, one per column of the
// item type's column set. Every item class derives from it and differs only in its type and
// its schema (and, for files, in its copy rule and transfers).
//
// The conversions to and from field maps raise (CAtlException for a failed copy or a bad
// index, _com_error for a SUID that does not convert); the table's method frame catches them.
// The IItem methods never let anything escape.
#pragma once

#include <atomic>
#include <vector>

#include "core/ColumnsWM.h"
#include "core/FieldMap.h"
#include "core/ModuleCount.h"
#include "core/TypeLib.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"
#include "wincompat/dispatch.h"

namespace qwb {

class CItemWMBase : public wincompat::DispatchImpl<IItem, &TypeInfoIItem>,
                    public ISupportErrorInfo {
 public:
  CItemWMBase(const CItemWMBase&) = delete;
  CItemWMBase& operator=(const CItemWMBase&) = delete;

  // The item behind an IItem the host hands back, or null when the object is not one of
  // ours. No reference is added: the caller holds pItem for the duration of its use.
  static CItemWMBase* FromItem(IItem* pItem);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IItem
  HRESULT STDMETHODCALLTYPE get_SUID(SUID* pVal) override;
  HRESULT STDMETHODCALLTYPE get_parent(SUID* pVal) override;
  HRESULT STDMETHODCALLTYPE getType(DCADATATYPE* newVal) override;
  HRESULT STDMETHODCALLTYPE GetColumnCount(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE GetColumnInfo(ULONG nColumn, IColumnInfo** ppColumnInfo) override;
  HRESULT STDMETHODCALLTYPE GetColumnFlags(ULONG nColumn, ULONG* pFlags) override;
  HRESULT STDMETHODCALLTYPE GetColumnName(ULONG nColumn, BSTR* pName) override;
  HRESULT STDMETHODCALLTYPE GetColumnType(ULONG nColumn, USHORT* pType) override;
  HRESULT STDMETHODCALLTYPE GetLength(ULONG nColumn, ULONG* pLength) override;
  HRESULT STDMETHODCALLTYPE GetOrdinal(BSTR ColumnName, ULONG* pOrdinal, LONG* pFound) override;
  HRESULT STDMETHODCALLTYPE GetStatus(ULONG nColumn, ULONG* pStatus) override;
  HRESULT STDMETHODCALLTYPE SetStatus(ULONG nColumn, ULONG pStatus) override;
  HRESULT STDMETHODCALLTYPE GetValue(ULONG col, VARIANT* pVal) override;
  HRESULT STDMETHODCALLTYPE SetValue(ULONG col, VARIANT newVal) override;
  HRESULT STDMETHODCALLTYPE ReadBlobTo(ULONG col, BSTR path) override;
  HRESULT STDMETHODCALLTYPE WriteBlobFrom(ULONG col, BSTR path) override;

  // ISupportErrorInfo: S_OK for IItem only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // The item's own operations, in this order.
  virtual ~CItemWMBase();
  // Keeps a counted reference to `columns`; the set already attached is a no-op. The value
  // array is not resized.
  virtual void SetColumns(CColumnsWM* columns);
  virtual void SetSUID(SUID suid);
  // Every column's value, converted in place to the column's type where it is set and of
  // another type (a value that does not convert stays as it is), is stored in `map` under
  // the column's name; VT_EMPTY values too.
  virtual HRESULT SchemaConvertItem2Map(FieldMap& map);
  // Copies the entries named like columns into those columns, then takes "SUID" (converted
  // to VT_I4) as the item's SUID.
  virtual HRESULT SchemaConvertMap2Item(const FieldMap& map);
  // The same for a map the caller is done with: values may be moved out of it rather than
  // copied. An item that overrides SchemaConvertMap2Item overrides this too.
  virtual HRESULT SchemaTakeMap2Item(FieldMap& map);

  IItem* AsItem() { return static_cast<IItem*>(this); }
  SUID GetSUID() const { return m_suid; }
  CColumnsWM* GetColumns() const { return m_pColumns.Get(); }

 protected:
  explicit CItemWMBase(DCADATATYPE type);

  // Sizes the value array to the column count (every value VT_EMPTY) when it is empty.
  void EnsureValues();
  // SchemaConvertMap2Item over a const map, SchemaTakeMap2Item over one it may empty.
  template <class Map>
  HRESULT MapToItem(Map& map);
  // The value slot of column `col` (column 0 when `col` is not below the column count);
  // E_INVALIDARG as CAtlException when the array has no such slot.
  Variant& ValueSlot(ULONG col);
  // Copies `src` into the slot of `ordinal`; a failed copy leaves VT_ERROR with the code
  // and raises it as CAtlException.
  void CopyIntoColumn(ULONG ordinal, const VARIANT& src);

  const DCADATATYPE m_type;
  SUID m_suid = SUID_NULL;
  ComPtr<CColumnsWM> m_pColumns;
  std::vector<Variant> m_values;

 private:
  std::atomic<ULONG> m_cRef{0};
  ModuleLockHolder m_moduleLock;
};

// Makes a new object of an item class, holding one reference.
template <class T, class... Args>
ComPtr<T> MakeItem(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace qwb
