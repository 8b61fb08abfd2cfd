// A deliberate back-edge: code of the lowest layer of the component calling the device data
// object, two layers up. Built into the lowest layer's link check, it must fail to link.
#include "core/DeviceDataWM.h"

int LayeringProbe(qwb::CDeviceDataWM* deviceData) { return deviceData->GetWMModelType(); }
