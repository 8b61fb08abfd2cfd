// The same call made from the layer above the device data object links: the control that
// shows the back-edge probe fails for its direction alone.
#include "core/DeviceDataWM.h"

int LayeringProbe(qwb::CDeviceDataWM* deviceData) { return deviceData->GetWMModelType(); }
