// Which phone the data comes from, as a short key that export UIDs are built from.
//
// The component's interfaces carry no identity of the phone (its device information names
// the model only), so this is the one value the CLI reads past the component: a read-only
// query of the phone's registry through the Remote API session the component uses too.
//   1. HKEY_LOCAL_MACHINE\Ident "DeviceGuid" (REG_SZ "{XXXXXXXX-XXXX-...}"): the device GUID,
//      different for every phone, kept across connections. Key: the GUID in lower case
//      without braces.
//   2. A phone without one: the model (Ident "OrigName") and device name (Ident "Name"),
//      hashed. Unique only as far as the user's phones have different names; `unique` is false
//      and the CLI says so.
#pragma once

#include <string>

namespace qwbhost {

struct PhoneIdentity {
  std::string key;     // [0-9a-z-] only, safe in UIDs and file names
  std::string source;  // what the key was made from, for messages
  bool unique = false;
};

// The identity of the phone QWBDCAWM_DEVICE names. Throws HostError when the phone cannot be
// reached.
PhoneIdentity ReadPhoneIdentity();

// The key of a device GUID text ("{5B8E2A4C-1F3D-4E6A-9B7C-0D1E2F3A4B5C}" ->
// "5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c"); empty when the text is not a GUID.
std::string GuidKey(const std::string& text);
// The key of a phone known by its model and device name only ("n" and 16 hex digits).
std::string NameKey(const std::string& model, const std::string& name);

}  // namespace qwbhost
