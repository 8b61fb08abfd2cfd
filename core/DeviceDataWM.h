// CDeviceDataWM: the one creatable object of the component (class DeviceDataWM). It holds the
// host's objects, creates and keeps the nine data tables, owns the device link (created on
// first need), caches the phone's model type for the tables and fires the Progress event of
// its two connection points.
//
// Apartment-threaded: its own count is not interlocked. It can be aggregated: every interface
// delegates IUnknown to the controlling unknown; the inner, non-delegating IUnknown is what
// an aggregating outer object holds.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/ModuleCount.h"
#include "core/ProgressSink.h"
#include "core/TableRegistry.h"
#include "core/TypeLib.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"
#include "wincompat/connpoint.h"
#include "wincompat/dispatch.h"

class CRapiBase;

namespace qwb {

// Invariants (hold between any two calls of the host):
//  - m_tables has one slot per registry line, in registry order; a slot is null until
//    ListDataTable creates its table, and a created table is kept until the object dies.
//  - m_pRapi is null until the first GetDataTable or GetWMModelType, then lives as long as
//    the object; it is closed (uninitRapiComm) before the host's objects and the tables go.
//  - m_nModelType is -1 until the link has answered once; the tables never see it change.
//  - m_pConnection and m_pModelDB hold what the last SetConneciton gave (null when the object
//    did not answer the interface).
//  - m_nProtocolState starts at 0 and ResetProtocolState sets it to 0 again; nothing else
//    changes it, so GetProtocolState (5000 when non-zero, else -1) answers -1.
class CDeviceDataWM final : public wincompat::DispatchImpl<IDeviceData, &TypeInfoIDeviceData>,
                            public IConnectionPointContainer,
                            public ISupportErrorInfo,
                            public IProgressTarget {
 public:
  // The class factory's work: a new object, aggregated when `pUnkOuter` is given (then only
  // IID_IUnknown may be asked for), answering `riid`, serving the tables of `tables`.
  static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv,
                                std::span<const TableRegistration> tables);

  CDeviceDataWM(const CDeviceDataWM&) = delete;
  CDeviceDataWM& operator=(const CDeviceDataWM&) = delete;

  // IUnknown, delegating to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDeviceData
  HRESULT STDMETHODCALLTYPE ListDataTable() override;
  HRESULT STDMETHODCALLTYPE GetDataTable(DATATABLE_SUID tableId, IDataTable** ppDataTable) override;
  HRESULT STDMETHODCALLTYPE SetConneciton(IUnknown* pCon, IUnknown* pModelDB) override;
  HRESULT STDMETHODCALLTYPE SetProperty(BSTR propName, BSTR propValue) override;

  // IConnectionPointContainer: IDeviceDataEvents first, _IDeviceDataEvents second.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // ISupportErrorInfo: S_OK for IDeviceData only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Fires Progress(done, total, pContinue) to every sink of IDeviceDataEvents, then of
  // _IDeviceDataEvents, each in slot order. The amounts are sign-extended to 64 bits.
  void FireProgress(LONG done, LONG total, LONG* pContinue) override;

  // For the tables. The cached model type, asking the device link (created if need be) while
  // it is still unknown.
  int GetWMModelType();
  // The device link, or null before the first GetDataTable / GetWMModelType.
  CRapiBase* GetRapiBase() const { return m_pRapi.get(); }
  IHostConnection* GetConnection() const { return m_pConnection.Get(); }
  IHostModelDB* GetModelDB() const { return m_pModelDB.Get(); }

  // The non-delegating IUnknown (what an aggregating outer object holds).
  IUnknown* GetInnerUnknown() { return &m_inner; }

 private:
  CDeviceDataWM(IUnknown* pUnkOuter, std::span<const TableRegistration> tables);
  ~CDeviceDataWM();

  // Creates the device link if there is none, writing the debug line with `method`.
  void EnsureRapiBase(const char* method);
  // Creates and initializes the table of registry line `slot` unless it exists.
  HRESULT CreateTable(size_t slot);

  HRESULT InnerQueryInterface(REFIID riid, void** ppv);
  ULONG InnerAddRef();
  ULONG InnerRelease();

  class InnerUnknown : public IUnknown {
   public:
    explicit InnerUnknown(CDeviceDataWM* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    CDeviceDataWM* Owner() { return owner_; }
    CDeviceDataWM* owner_;
  };

  // IDeviceProtocol on its own vtable: its IDispatch half has no type information.
  class Protocol : public IDeviceProtocol {
   public:
    explicit Protocol(CDeviceDataWM* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    HRESULT STDMETHODCALLTYPE GetProtocolState(LONG* pState) override;
    HRESULT STDMETHODCALLTYPE ResetProtocolState() override;

   private:
    CDeviceDataWM* Owner() { return owner_; }
    CDeviceDataWM* owner_;
  };

  ModuleLockHolder m_moduleLock;
  ULONG m_cRef = 0;
  IUnknown* m_pOuter;  // the controlling unknown: the outer object, or m_inner
  InnerUnknown m_inner;
  Protocol m_protocol;
  // IDeviceDataEvents first, _IDeviceDataEvents second; each a growing array of sinks.
  wincompat::ConnectionPointSet m_points;

  // Fields, in this order. m_tables[i] is the table of registry line i, null until
  // ListDataTable creates it; the lines' order is the order of the fields they stand for.
  std::unique_ptr<CRapiBase> m_pRapi;
  std::span<const TableRegistration> m_registry;
  std::vector<ComPtr<CDataTableWMBase>> m_tables;
  ComPtr<IHostConnection> m_pConnection;
  ComPtr<IHostModelDB> m_pModelDB;
  LONG m_nProtocolState = 0;
  int m_nModelType = -1;
};

}  // namespace qwb
