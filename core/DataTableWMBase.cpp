#include "core/DataTableWMBase.h"

#include "core/ColumnsWM.h"
#include "core/Log.h"
#include "core/TypeLib.h"
#include "wincompat/dispatch.h"

namespace qwb {

CDataTableWMBase::CDataTableWMBase() = default;

// Members go in reverse order: columns2, columns, then the connection.
CDataTableWMBase::~CDataTableWMBase() = default;

HRESULT CDataTableWMBase::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IDataTable) {
    *ppv = static_cast<IDataTable*>(this);
  } else if (riid == IID_ISupportErrorInfo) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CDataTableWMBase::AddRef() { return ++m_cRef; }

ULONG CDataTableWMBase::Release() {
  ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

HRESULT CDataTableWMBase::ListItemsAllBegin() { return E_NOTIMPL; }
HRESULT CDataTableWMBase::ListChildItemsBegin(IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::NextItem(IItem**) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::ListItemsEnd() { return E_NOTIMPL; }
HRESULT CDataTableWMBase::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::NewItem(DCADATATYPE, SUID, SUID, IItem**) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::CreateItem(IItem*, SUID*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::UpdateItem(IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::DeleteItem(IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::ReadItem(IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::MoveItem(IItem*, IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::GetItem(BSTR, IItem*, IItem**) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::PutItem(BSTR, IItem*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::Execute(BSTR, IItem*, IItem**) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::GetProperty(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::SetSyncStatus(DCASYNCSTATUS) { return E_NOTIMPL; }
HRESULT CDataTableWMBase::ListItemsAllBegin2() { return E_NOTIMPL; }
HRESULT CDataTableWMBase::ExecuteMMSCancel(BSTR, IItem*, ULONG*) { return E_NOTIMPL; }

HRESULT CDataTableWMBase::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IDataTable ? S_OK : S_FALSE;
}

void CDataTableWMBase::AttachModelDB(IHostModelDB*) {}

void CDataTableWMBase::Initialize(CDeviceDataWM* pDeviceData, IHostConnection* pConnection) {
  WMLog("CDataTableWMBase::Initialize");
  m_pDeviceData = pDeviceData;
  m_pConnection = ComPtr<IHostConnection>(pConnection);
  m_chDrive = 0;
  // A host that gave no connection leaves the table without a drive letter.
  if (!m_pConnection) return;
  BStr name(u"DRIVE");
  BStr value;
  HRESULT hr = m_pConnection->GetConnectionProperty(name.Get(), value.Out());
  CheckCom(hr, m_pConnection.Get(), IID_IHostConnection);
  m_chDrive = value.Empty() ? 0 : value.Get()[0];
}

}  // namespace qwb
