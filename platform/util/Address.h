// Device and listening addresses as every tool of the project writes them: "tcp:HOST:PORT"
// (an IPv6 host in brackets), "unix:PATH", or (a device only) "phone:NAME", a phone that
// dialled qwbdcawm-connectd. The one parser, used by the RAPI client, the emulator and the CLI.
#pragma once

#include <string>

namespace addr {

struct Address {
  enum Kind { kNone, kTcp, kUnix, kPhone } kind = kNone;
  std::string host;  // tcp: name or numeric address ([v6] brackets removed)
  std::string port;  // tcp: 1 to 5 digits, at most 65535 (0 is left to the caller)
  std::string path;  // unix: not empty
  std::string phone;  // phone: the device name, "" for the only connected phone
};

// False (and *out of kind kNone) for anything else than the three forms.
bool Parse(const std::string& text, Address* out);

// A connected, blocking stream socket (close-on-exec) to a tcp: or unix: address, trying each
// address a host name resolves to and giving each up to timeoutMs; -1 with *error saying why
// otherwise.
int ConnectStream(const Address& address, int timeoutMs, std::string* error);

}  // namespace addr
