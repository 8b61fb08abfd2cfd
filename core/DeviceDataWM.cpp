#include "core/DeviceDataWM.h"

#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "core/Errors.h"
#include "core/Log.h"
#include "link/RapiBase.h"
#include "module/TypeLib.h"
#include "tables/contacts/DataTableWMPhonebook.h"
#include "tables/contacts/DataTableWMSIM.h"
#include "tables/files/DataTableWMFile.h"
#include "tables/messaging/DataTableWMMMS.h"
#include "tables/messaging/DataTableWMMessage.h"
#include "tables/metadata/DataTableWMMetadata.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/DataTableWMVoiceMemo.h"
#include "wincompat/dispatch.h"

namespace qwb {

// ---- Creation and lifetime ---------------------------------------------------

CDeviceDataWM::CDeviceDataWM(IUnknown* pUnkOuter)
    : m_pOuter(pUnkOuter ? pUnkOuter : static_cast<IUnknown*>(&m_inner)),
      m_inner(this),
      m_protocol(this),
      m_points(m_pOuter, {DIID_IDeviceDataEvents, DIID__IDeviceDataEvents}) {}

// The device link goes first (closing the stream and the session), then the host's objects,
// then the tables in the order voice memo ... file; the sink arrays go last.
CDeviceDataWM::~CDeviceDataWM() {
  if (m_pRapi) {
    m_pRapi->uninitRapiComm();
    m_pRapi.reset();
  }
  m_pModelDB.Reset();
  m_pConnection.Reset();
  m_pVoiceMemoTable.Reset();
  m_pMetadataTable.Reset();
  m_pMMSTable.Reset();
  m_pSIMTable.Reset();
  m_pMessageTable.Reset();
  m_pTaskTable.Reset();
  m_pScheduleTable.Reset();
  m_pPhonebookTable.Reset();
  m_pFileTable.Reset();
}

HRESULT CDeviceDataWM::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  CDeviceDataWM* object = nullptr;
  try {
    object = new CDeviceDataWM(pUnkOuter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  object->InnerAddRef();
  HRESULT hr = object->InnerQueryInterface(riid, ppv);
  object->InnerRelease();
  return hr;
}

// ---- IUnknown ------------------------------------------------------------------

HRESULT CDeviceDataWM::InnerQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown) {
    // Aggregated, the inner object's identity is its non-delegating IUnknown; on its own,
    // the first interface of the map.
    *ppv = m_pOuter == &m_inner ? static_cast<IUnknown*>(static_cast<IDeviceData*>(this))
                                : static_cast<IUnknown*>(&m_inner);
  } else if (riid == IID_IDeviceData || riid == IID_IDispatch) {
    *ppv = static_cast<IDeviceData*>(this);
  } else if (riid == IID_IConnectionPointContainer) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else if (riid == IID_ISupportErrorInfo) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else if (riid == IID_IDeviceProtocol) {
    *ppv = static_cast<IDeviceProtocol*>(&m_protocol);
  } else {
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

ULONG CDeviceDataWM::InnerAddRef() { return ++m_cRef; }

ULONG CDeviceDataWM::InnerRelease() {
  ULONG n = --m_cRef;
  if (n == 0) {
    // Guards against a release from within the destructor (a table or sink calling back).
    m_cRef = 1;
    delete this;
  }
  return n;
}

HRESULT CDeviceDataWM::InnerUnknown::QueryInterface(REFIID riid, void** ppv) {
  return Owner()->InnerQueryInterface(riid, ppv);
}
ULONG CDeviceDataWM::InnerUnknown::AddRef() { return Owner()->InnerAddRef(); }
ULONG CDeviceDataWM::InnerUnknown::Release() { return Owner()->InnerRelease(); }

HRESULT CDeviceDataWM::QueryInterface(REFIID riid, void** ppv) {
  return m_pOuter->QueryInterface(riid, ppv);
}
ULONG CDeviceDataWM::AddRef() { return m_pOuter->AddRef(); }
ULONG CDeviceDataWM::Release() { return m_pOuter->Release(); }

// ---- IDeviceData -----------------------------------------------------------------

template <class T>
HRESULT CDeviceDataWM::CreateTable(ComPtr<CDataTableWMBase>& field) {
  if (field) return S_OK;
  T* created = new (std::nothrow) T();
  if (!created) return E_OUTOFMEMORY;
  ComPtr<CDataTableWMBase> table(created);
  if constexpr (std::is_same_v<T, CDataTableWMFile>) {
    if (m_pModelDB) {
      ComPtr<IHostModelDBFiles> files;
      HRESULT hr = m_pModelDB.As(std::addressof(files));
      if (FAILED(hr) && hr != E_NOINTERFACE)
        ThrowComError(hr, m_pModelDB.Get(), IID_IHostModelDBFiles);
      created->SetHostModelDBFiles(files.Get());
    }
  }
  table->Initialize(this, m_pConnection.Get());
  field = std::move(table);
  return S_OK;
}

HRESULT CDeviceDataWM::ListDataTable() {
  try {
    HRESULT hr = CreateTable<CDataTableWMPhonebook>(m_pPhonebookTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMSchedule>(m_pScheduleTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMTask>(m_pTaskTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMMessage>(m_pMessageTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMMetadata>(m_pMetadataTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMSIM>(m_pSIMTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMMMS>(m_pMMSTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMFile>(m_pFileTable);
    if (SUCCEEDED(hr)) hr = CreateTable<CDataTableWMVoiceMemo>(m_pVoiceMemoTable);
    return hr;
  } catch (const CAtlException& e) {
    return e.hr();
  } catch (const std::bad_alloc&) {
    // Out of memory in a table's constructor (its column sets, its schema) is E_OUTOFMEMORY
    // like a failed allocation of the table itself.
    return E_OUTOFMEMORY;
  } catch (...) {
    // A COM error (a failing "DRIVE" query among them) ends up here too.
    return E_FAIL;
  }
}

void CDeviceDataWM::EnsureRapiBase(const char* method) {
  if (m_pRapi) return;
  WMDebug("[%s]WM>> new CRapiBase \n", method);
  m_pRapi = std::make_unique<CRapiBase>();
}

HRESULT CDeviceDataWM::GetDataTable(DATATABLE_SUID tableId, IDataTable** ppDataTable) {
  try {
    WMLog("CDeviceDataWM::GetDataTable");
    EnsureRapiBase("CDeviceDataWM::GetDataTable");
    if (tableId == DTID_PHONEBOOK && m_pRapi->m_pStream == nullptr) {
      WMDebug("WM>> StartApplyAllData()");
      m_pRapi->StartApplyAllData();  // the phonebook table reopens the stream itself if need be
    }
    CDataTableWMBase* table = nullptr;
    switch (tableId) {
      case DTID_PHONEBOOK:
        table = m_pPhonebookTable.Get();
        break;
      case DTID_CALENDAR:
        table = m_pScheduleTable.Get();
        break;
      case DTID_MESSAGE:
        table = m_pMessageTable.Get();
        break;
      case DTID_FILE:
        table = m_pFileTable.Get();
        break;
      case DTID_TASK:
        table = m_pTaskTable.Get();
        break;
      case DTID_METADATA:
        table = m_pMetadataTable.Get();
        break;
      case DTID_SIM:
        table = m_pSIMTable.Get();
        break;
      case DTID_MMS:
        table = m_pMMSTable.Get();
        break;
      case DTID_VOICEMEMO:
        table = m_pVoiceMemoTable.Get();
        break;
      default:
        return E_NOTIMPL;
    }
    if (!ppDataTable) return E_POINTER;
    *ppDataTable = nullptr;
    if (table) {
      *ppDataTable = table->AsDataTable();
      table->AddRef();
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CDeviceDataWM::SetConneciton(IUnknown* pCon, IUnknown* pModelDB) {
  WMLog("CDeviceDataWM::SetConneciton");
  try {
    ComPtr<IHostConnection> connection;
    if (pCon) {
      HRESULT hr = pCon->QueryInterface(
          IID_IHostConnection, reinterpret_cast<void**>(connection.ReleaseAndGetAddressOf()));
      if (FAILED(hr) && hr != E_NOINTERFACE) ThrowComError(hr, pCon, IID_IHostConnection);
    }
    m_pConnection = std::move(connection);
    ComPtr<IHostModelDB> modelDB;
    if (pModelDB) {
      HRESULT hr = pModelDB->QueryInterface(
          IID_IHostModelDB, reinterpret_cast<void**>(modelDB.ReleaseAndGetAddressOf()));
      if (FAILED(hr) && hr != E_NOINTERFACE) ThrowComError(hr, pModelDB, IID_IHostModelDB);
    }
    m_pModelDB = std::move(modelDB);
    return S_OK;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CDeviceDataWM::SetProperty(BSTR, BSTR) { return E_NOTIMPL; }

// ---- Connection points --------------------------------------------------------------

HRESULT CDeviceDataWM::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return m_points.EnumConnectionPoints(ppEnum);
}

HRESULT CDeviceDataWM::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return m_points.FindConnectionPoint(riid, ppCP);
}

void CDeviceDataWM::FireProgress(LONG done, LONG total, LONG* pContinue) {
  // Progress(done, total, continue) with the arguments last-first, as Invoke takes them.
  VARIANT args[3];
  args[0].vt = VT_BYREF | VT_I4;
  args[0].plVal = pContinue;
  args[1].vt = VT_I8;
  args[1].llVal = static_cast<LONGLONG>(total);
  args[2].vt = VT_I8;
  args[2].llVal = static_cast<LONGLONG>(done);
  for (VARIANT& arg : args) arg.wReserved1 = arg.wReserved2 = arg.wReserved3 = 0;
  for (size_t point = 0; point < m_points.Count(); ++point) {
    // Slot by slot, first to last: each sink is fetched and held (AddRef) for its own call
    // only, so a sink that an earlier handler unadvised is no longer called.
    wincompat::ConnectionPoint& sinks = m_points.Point(point);
    for (size_t slot = 0; slot < sinks.SlotCount(); ++slot) {
      ComPtr<IDispatch> sink = sinks.DispatchSinkAt(slot);
      if (!sink) continue;
      DISPPARAMS params{args, nullptr, 3, 0};
      sink->Invoke(DISPID_PROGRESS, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                   nullptr, nullptr, nullptr);
    }
  }
}

// ---- ISupportErrorInfo -------------------------------------------------------------

HRESULT CDeviceDataWM::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IDeviceData ? S_OK : S_FALSE;
}

// ---- For the tables ------------------------------------------------------------------

int CDeviceDataWM::GetWMModelType() {
  if (m_nModelType == -1) {
    EnsureRapiBase("CDeviceDataWM::GetWMModelType");
    m_nModelType = m_pRapi->GetWMModelType();
  }
  return m_nModelType;
}

// ---- IDeviceProtocol -------------------------------------------------------------------

HRESULT CDeviceDataWM::Protocol::QueryInterface(REFIID riid, void** ppv) {
  return Owner()->QueryInterface(riid, ppv);
}
ULONG CDeviceDataWM::Protocol::AddRef() { return Owner()->AddRef(); }
ULONG CDeviceDataWM::Protocol::Release() { return Owner()->Release(); }

// IDeviceProtocol is not in the type library: the count says 1 as for every dual interface,
// but no type information, name or member is found.
HRESULT CDeviceDataWM::Protocol::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}
HRESULT CDeviceDataWM::Protocol::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}
HRESULT CDeviceDataWM::Protocol::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID,
                                               DISPID* rgDispId) {
  for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return TYPE_E_ELEMENTNOTFOUND;
}
HRESULT CDeviceDataWM::Protocol::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                        EXCEPINFO*, UINT*) {
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT CDeviceDataWM::Protocol::GetProtocolState(LONG* pState) {
  if (!pState) return E_POINTER;
  *pState = Owner()->m_nProtocolState != 0 ? 5000 : -1;
  return S_OK;
}

HRESULT CDeviceDataWM::Protocol::ResetProtocolState() {
  Owner()->m_nProtocolState = 0;
  return S_OK;
}

}  // namespace qwb
