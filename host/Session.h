// One connection of the CLI to the phone: the component created through CoCreateInstance,
// given the host objects, its tables created, and the table the command needs fetched.
// Everything goes through the public interfaces; nothing of the component is linked in.
#pragma once

#include <optional>
#include <string>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// Registers the component's and the error reporter's libraries (beside the executable, or
// the installed ones: host/Component.h) in the registry store unless it already leads to
// those very files.
void EnsureRegistered();

class Session {
 public:
  // Initializes COM on this thread, registers if need be, creates the component and its
  // tables. The device address (QWBDCAWM_DEVICE) must be set before.
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The table of `id`; a failure throws a HostError.
  ComPtr<IDataTable> Table(DATATABLE_SUID id);
  // The component itself (its connection points carry the Progress event).
  IDeviceData* Device() const { return device_.Get(); }

 private:
  bool coInitialized_ = false;
  ComPtr<IDeviceData> device_;
};

// Reads a whole table: ListItemsAllBegin, NextItem until the null item, ListItemsEnd.
// `onItem` gets each item with its position and the count the table reported.
template <class F>
void ForEachItem(IDataTable* table, const char* what, F&& onItem);

}  // namespace qwbhost

#include "host/HostError.h"

namespace qwbhost {

template <class F>
void ForEachItem(IDataTable* table, const char* what, F&& onItem) {
  CheckHr(std::string(what) + ": ListItemsAllBegin", table->ListItemsAllBegin());
  ULONG total = 0;
  CheckHr(std::string(what) + ": GetItemCount", table->GetItemCount(nullptr, 0, DCADT_ALL, &total));
  for (ULONG n = 0;; ++n) {
    ComPtr<IItem> item;
    HRESULT hr = table->NextItem(item.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      table->ListItemsEnd();
      ThrowHr(std::string(what) + ": NextItem", hr);
    }
    if (!item) break;
    onItem(item.Get(), n, total);
  }
  table->ListItemsEnd();
}

}  // namespace qwbhost
