// The client side of qwbdcawm-connectd's Unix socket: one JSON request line per connection,
// answered by one JSON reply line; a session reply carries the phone's connected TCP socket
// as an SCM_RIGHTS descriptor. Used by librapi (sessions), the CLI (devices, unlock) and tests.
//
// Requests: {"request":"devices"}
//           {"request":"session","device":"NAME"}       ("" = the only phone)
//           {"request":"unlock","device":"NAME","password":"..."}
// Replies:  {"ok":true,...} or {"ok":false,"error":CODE,"message":TEXT}, CODE one of the
//           kError* texts below.
#pragma once

#include <string>

namespace connectproto {

inline constexpr const char* kErrorNoPhone = "no-phone";
inline constexpr const char* kErrorSeveral = "several-phones";
inline constexpr const char* kErrorLocked = "locked";
inline constexpr const char* kErrorWrongPassword = "wrong-password";
inline constexpr const char* kErrorNotLocked = "not-locked";
inline constexpr const char* kErrorBusy = "busy";
inline constexpr const char* kErrorTimeout = "timeout";
inline constexpr const char* kErrorGone = "gone";
inline constexpr const char* kErrorDenied = "denied";
inline constexpr const char* kErrorBadRequest = "bad-request";
// Client side only: no manager answers at the socket.
inline constexpr const char* kErrorNoManager = "no-manager";

// The manager's socket: $QWBDCAWM_CONNECTD, else $XDG_RUNTIME_DIR/qwbdcawm/connectd.sock,
// else /run/qwbdcawm/connectd.sock.
std::string ManagerSocketPath();
// The socket a manager listens on by default: the user's runtime folder when it has one,
// else the system service's.
std::string DefaultListenPath();

struct Reply {
  bool ok = false;
  std::string error;    // code, "" when ok
  std::string message;  // human text
  std::string line;     // the whole reply line (JSON)
  int fd = -1;          // passed descriptor, owned by the caller
};

// Sends one request line (no newline) and reads the reply, waiting at most timeoutMs.
// A manager that is not there gives error kErrorNoManager. cancelFd (an eventfd, or -1)
// abandons the wait when it becomes readable (error kErrorTimeout).
Reply Ask(const std::string& socketPath, const std::string& requestJson, int timeoutMs,
          int cancelFd = -1);

}  // namespace connectproto
