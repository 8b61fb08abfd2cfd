// CDataTableWMBase: what every data table shares. The COM plumbing (QueryInterface for
// IDispatch as IDataTable, IDataTable and ISupportErrorInfo; an interlocked count; IDispatch
// from the IDataTable type description), the fields every table keeps, Initialize, and the
// listing state of the tables that list records.
//
// Every IDataTable method answers E_NOTIMPL here without touching its arguments; a table
// overrides the ones it implements. The C++ overrides of the IDataTable methods are the
// table's virtual operations: one override serves both the host's call and internal ones.
#pragma once

#include <atomic>
#include <vector>

#include "core/MethodFrame.h"
#include "core/ModuleCount.h"
#include "core/TypeLib.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"
#include "wincompat/dispatch.h"

namespace qwb {

class CDeviceDataWM;
class CColumnsWM;

class CDataTableWMBase : public wincompat::DispatchImpl<IDataTable, &TypeInfoIDataTable>,
                         public ISupportErrorInfo {
 public:
  CDataTableWMBase(const CDataTableWMBase&) = delete;
  CDataTableWMBase& operator=(const CDataTableWMBase&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDataTable: E_NOTIMPL unless the table overrides.
  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE ListChildItemsBegin(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE ReadItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE MoveItem(IItem* pItem, IItem* newParent) override;
  HRESULT STDMETHODCALLTYPE GetItem(BSTR param, IItem* pItem, IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE PutItem(BSTR param, IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE Execute(BSTR param, IItem* pItem, IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR propName, BSTR* propValue) override;
  HRESULT STDMETHODCALLTYPE SetSyncStatus(DCASYNCSTATUS status) override;
  HRESULT STDMETHODCALLTYPE ListItemsAllBegin2() override;
  HRESULT STDMETHODCALLTYPE ExecuteMMSCancel(BSTR param, IItem* pItem, ULONG* nState) override;

  // ISupportErrorInfo: S_OK for IDataTable only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Called by the device data object right after creating the table, before Initialize, with
  // the host's model database object (may be null). Tables that use it override this; a
  // failure other than E_NOINTERFACE is raised as a _com_error.
  virtual void AttachModelDB(IHostModelDB* pModelDB);

  // Called once by the device data object right after creating the table: keeps the owner
  // (uncounted) and the connection, and asks the connection for "DRIVE". A failing query
  // raises a _com_error. Without a connection the drive letter stays 0.
  void Initialize(CDeviceDataWM* pDeviceData, IHostConnection* pConnection);

  CDeviceDataWM* GetDeviceData() const { return m_pDeviceData; }
  IHostConnection* GetConnection() const { return m_pConnection.Get(); }
  CColumnsWM* GetColumns() const { return m_pColumns.Get(); }
  CColumnsWM* GetColumns2() const { return m_pColumns2.Get(); }
  WCHAR GetDriveLetter() const { return m_chDrive; }

  // The table's IDataTable interface (its identity towards the host).
  IDataTable* AsDataTable() { return static_cast<IDataTable*>(this); }

 protected:
  CDataTableWMBase();
  virtual ~CDataTableWMBase();

  // Fields every table keeps, in this order.
  CDeviceDataWM* m_pDeviceData = nullptr;
  ComPtr<IHostConnection> m_pConnection;
  ComPtr<CColumnsWM> m_pColumns;
  ComPtr<CColumnsWM> m_pColumns2;
  WCHAR m_chDrive = 0;

  // Listing state of the tables that list records: whether a listing is active, the number of
  // records listed and the position of the next one to return. The record tables keep their
  // entry ids in the record table machinery (RecordTableWM.h), the other tables their own
  // lists.
  BOOL m_bListing = FALSE;
  LONG m_nTotal = 0;
  LONG m_nIndex = 0;

 private:
  std::atomic<ULONG> m_cRef{0};
  ModuleLockHolder m_moduleLock;
};

}  // namespace qwb
