#include "core/DeviceDataWM.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "core/Errors.h"
#include "core/Log.h"
#include "core/MethodFrame.h"
#include "link/RapiBase.h"
#include "core/TypeLib.h"
#include "wincompat/dispatch.h"

namespace qwb {

// ---- Creation and lifetime ---------------------------------------------------

CDeviceDataWM::CDeviceDataWM(IUnknown* pUnkOuter, std::span<const TableRegistration> tables)
    : m_pOuter(pUnkOuter ? pUnkOuter : static_cast<IUnknown*>(&m_inner)),
      m_inner(this),
      m_protocol(this),
      m_points(m_pOuter, {DIID_IDeviceDataEvents, DIID__IDeviceDataEvents}),
      m_registry(tables),
      m_tables(tables.size()) {}

// The device link goes first (closing the stream and the session), then the host's objects,
// then the tables from the last field to the first (voice memo ... file); the sink arrays go
// last.
CDeviceDataWM::~CDeviceDataWM() {
  if (m_pRapi) {
    m_pRapi->uninitRapiComm();
    m_pRapi.reset();
  }
  m_pModelDB.Reset();
  m_pConnection.Reset();
  for (auto table = m_tables.rbegin(); table != m_tables.rend(); ++table) table->Reset();
}

HRESULT CDeviceDataWM::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv,
                                      std::span<const TableRegistration> tables) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  CDeviceDataWM* object = nullptr;
  try {
    object = new CDeviceDataWM(pUnkOuter, tables);
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

HRESULT CDeviceDataWM::CreateTable(size_t slot) {
  ComPtr<CDataTableWMBase>& field = m_tables[slot];
  if (field) return S_OK;
  CDataTableWMBase* created = m_registry[slot].create();
  if (!created) return E_OUTOFMEMORY;
  ComPtr<CDataTableWMBase> table(created);
  table->AttachModelDB(m_pModelDB.Get());
  table->Initialize(this, m_pConnection.Get());
  field = std::move(table);
  return S_OK;
}

HRESULT CDeviceDataWM::ListDataTable() {
  return DeviceDataMethodFrame(kPassAtlException, [&] {
    // Creation order by rank, found without allocating: a table constructor's failed
    // allocation must be the only way this call runs out of memory (E_OUTOFMEMORY from the
    // frame, like a failed allocation of the table itself).
    for (int rank = 0; rank < static_cast<int>(m_registry.size()); ++rank) {
      for (size_t slot = 0; slot < m_registry.size(); ++slot) {
        if (m_registry[slot].creationOrder != rank) continue;
        HRESULT hr = CreateTable(slot);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  });  // a COM error (a failing "DRIVE" query among them) gives E_FAIL
}

void CDeviceDataWM::EnsureRapiBase(const char* method) {
  if (m_pRapi) return;
  WMDebug("[%s]WM>> new CRapiBase \n", method);
  m_pRapi = std::make_unique<CRapiBase>();
}

HRESULT CDeviceDataWM::GetDataTable(DATATABLE_SUID tableId, IDataTable** ppDataTable) {
  return DeviceDataMethodFrame(kPassNone, [&] {
    WMLog("CDeviceDataWM::GetDataTable");
    EnsureRapiBase("CDeviceDataWM::GetDataTable");
    if (tableId == DTID_PHONEBOOK && !m_pRapi->HasStream()) {
      WMDebug("WM>> StartApplyAllData()");
      m_pRapi->StartApplyAllData();  // the phonebook table reopens the stream itself if need be
    }
    const auto line = std::find_if(m_registry.begin(), m_registry.end(),
                                   [&](const TableRegistration& r) { return r.id == tableId; });
    if (line == m_registry.end()) return E_NOTIMPL;
    CDataTableWMBase* table = m_tables[static_cast<size_t>(line - m_registry.begin())].Get();
    if (!ppDataTable) return E_POINTER;
    *ppDataTable = nullptr;
    if (table) {
      *ppDataTable = table->AsDataTable();
      table->AddRef();
    }
    return S_OK;
  });
}

HRESULT CDeviceDataWM::SetConneciton(IUnknown* pCon, IUnknown* pModelDB) {
  WMLog("CDeviceDataWM::SetConneciton");
  return DeviceDataMethodFrame(kPassComError, [&] {
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
  });
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
