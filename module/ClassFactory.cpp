#include "module/ClassFactory.h"

#include "core/DeviceDataWM.h"
#include "core/ModuleCount.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tables/TableRegistry.h"

namespace qwb {
namespace {

// One factory for the life of the module. Holding it does not keep the module loaded; a
// server lock does.
class CDeviceDataWMFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    // An aggregating outer object may only ask for the inner object's own IUnknown.
    if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return CDeviceDataWM::CreateInstance(pUnkOuter, riid, ppvObject, ServedTables());
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      ModuleLock();
    } else {
      ModuleUnlock();
    }
    return S_OK;
  }
};

CDeviceDataWMFactory g_factory;

}  // namespace

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_DeviceDataWM) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

HRESULT CanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

}  // namespace qwb
