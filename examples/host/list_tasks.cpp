// list_tasks: a host of the QWBDCAWM component, built against the installed headers and
// libraries only. It creates the DeviceDataWM object through CoCreateInstance, asks it for the
// task table and prints every task: subject, due date, priority and whether it is done.
//
//   QWBDCAWM_DEVICE=tcp:127.0.0.1:9990 list_tasks     (or unix:PATH, phone:NAME)
//
// The component is found through the registry store (~/.config/qwbdcawm/registry.reg); the
// first run registers the installed component there, as an installer would.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"
#include "wincompat/winbase.h"

namespace {

std::string Utf8(const std::u16string& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// Runs a server library's DllRegisterServer, as regsvr does.
HRESULT Register(const char* library) {
  void* module = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (!module) return CO_E_DLLNOTFOUND;
  auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
  return entry ? entry() : CO_E_ERRORINDLL;
}

HRESULT CreateDeviceData(ComPtr<IDeviceData>* device) {
  HRESULT hr = CoCreateInstance(CLSID_DeviceDataWM, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDeviceData, reinterpret_cast<void**>(device->Receive()));
  if (hr != REGDB_E_CLASSNOTREG) return hr;
  Register(QWBDCAWM_ERRORREPORT);  // optional: richer error information
  hr = Register(QWBDCAWM_COMPONENT);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(CLSID_DeviceDataWM, nullptr, CLSCTX_INPROC_SERVER, IID_IDeviceData,
                          reinterpret_cast<void**>(device->Receive()));
}

// A column of `item` as text: dates as YYYY-MM-DD, everything else through the OLE
// Automation conversion to BSTR.
std::string Column(IItem* item, const char16_t* name) {
  BStr column(name);
  ULONG ordinal = 0;
  LONG found = 0;
  if (FAILED(item->GetOrdinal(column.Get(), &ordinal, &found)) || !found) return "?";
  Variant value;
  if (FAILED(item->GetValue(ordinal, value.Receive()))) return "?";
  if (value.Get().vt == VT_DATE) {
    SYSTEMTIME t{};
    if (!VariantTimeToSystemTime(value.Get().date, &t)) return "?";
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return text;
  }
  if (value.Get().vt == VT_EMPTY || value.Get().vt == VT_NULL) return "";
  Variant text;
  if (FAILED(VariantChangeType(text.Receive(), &value.Get(), 0, VT_BSTR))) return "?";
  return Utf8(BStr(text.Get().bstrVal).Str());
}

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "list_tasks: %s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
  return 1;
}

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return 1;
  int status = 0;
  {
    ComPtr<IDeviceData> device;
    HRESULT hr = CreateDeviceData(std::addressof(device));
    if (FAILED(hr)) return Fail("CoCreateInstance(DeviceDataWM)", hr);
    // No host connection object: the tables then work without a PC drive letter.
    if (FAILED(hr = device->SetConneciton(nullptr, nullptr))) return Fail("SetConneciton", hr);
    if (FAILED(hr = device->ListDataTable())) return Fail("ListDataTable", hr);
    ComPtr<IDataTable> tasks;
    if (FAILED(hr = device->GetDataTable(DTID_TASK, tasks.Receive())) || !tasks)
      return Fail("GetDataTable(DTID_TASK)", hr);

    if (FAILED(hr = tasks->ListItemsAllBegin())) return Fail("ListItemsAllBegin", hr);
    int count = 0;
    for (;;) {
      ComPtr<IItem> item;
      if (FAILED(hr = tasks->NextItem(item.Receive()))) {
        status = Fail("NextItem", hr);
        break;
      }
      if (!item) break;  // the end of the listing
      SUID id = SUID_NULL;
      item->get_SUID(&id);
      std::printf("%d\t%s\t%s\t%s\t%s\n", static_cast<int>(id), Column(item.Get(), u"SUBJECT").c_str(),
                  Column(item.Get(), u"END_DATE").c_str(), Column(item.Get(), u"PRIORITY").c_str(),
                  Column(item.Get(), u"DONE_STATE").c_str());
      ++count;
    }
    tasks->ListItemsEnd();
    std::fprintf(stderr, "list_tasks: %d tasks\n", count);
  }
  CoUninitialize();
  return status;
}
