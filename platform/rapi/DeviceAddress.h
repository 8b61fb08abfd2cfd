// Where the device is and how to reach it: QWBDCAWM_DEVICE names it as tcp:HOST:PORT,
// unix:PATH, or phone:NAME for a phone that dialled qwbdcawm-connectd (each connection is then
// a session the manager asks the phone for). The main connection and every stream connection
// are opened here.
#pragma once

#include <string>

#include "platform/util/Address.h"
#include "wincompat/wintypes.h"

namespace qwb::rapi {

using DeviceAddress = addr::Address;

// Parses "tcp:HOST:PORT", "unix:PATH" or "phone:NAME"; false for anything else.
bool ParseDeviceAddress(const std::string& text, DeviceAddress* out);

// The address named by QWBDCAWM_DEVICE, read now; kind is kNone when unset or malformed.
DeviceAddress DeviceAddressFromEnvironment();

// The receive timeout of every call: QWBDCAWM_RAPI_TIMEOUT_MS, else 30 s.
int ReceiveTimeoutFromEnvironment();

// Opens a stream socket to the device, giving up after timeoutMs or as soon as cancelFd
// (an eventfd, or -1) becomes readable. Returns the connected, blocking socket, or -1 with
// *error the Win32 number of the failure (ERROR_CONNECTION_UNAVAIL, ERROR_TIMEOUT, and
// ERROR_INVALID_PASSWORD for a phone that is locked).
int ConnectDevice(const DeviceAddress& address, int timeoutMs, int cancelFd, DWORD* error);

}  // namespace qwb::rapi
