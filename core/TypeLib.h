// The static type descriptions of the dual interfaces in the QWBDCAWMLib type library: names,
// dispids and invoke kinds of every method, from which IDispatch is answered (GetIDsOfNames,
// Invoke, GetTypeInfo). IDeviceProtocol and the event interfaces are not in the library.
#pragma once

namespace wincompat {
struct DispInterface;
}

namespace qwb {

const wincompat::DispInterface& TypeInfoIDeviceData();
const wincompat::DispInterface& TypeInfoIDataTable();
const wincompat::DispInterface& TypeInfoIItem();
const wincompat::DispInterface& TypeInfoIColumnInfo();

}  // namespace qwb
