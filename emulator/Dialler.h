// The emulator dialling a connection manager the way a Windows Mobile 5/6 phone on USB does:
// it opens the control channel to the PC's port, announces itself with the device
// information of its image, waits to be unlocked (a PC-side password, or the user on the
// phone's own screen), answers keep-alives, and opens one new connection per session the PC
// asks for, serving RAPI2 on it. When the channel goes it dials again on the PC's trigger
// datagram (one byte 7f on its UDP port), or on replug.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "link/ControlChannel.h"

namespace wmemu {

class Emulator;

struct DialOptions {
  std::string address;          // the manager: "HOST:PORT" or "tcp:HOST:PORT"
  std::string password;         // WM5 lock: the password the PC must give ("" = none)
  bool unlockOnDevice = false;  // WM6 lock: unlocked on the phone's own screen
  int unlockDelayMs = 2000;     // ... after this long; < 0 only on Unlock()
  std::string trigger;          // UDP "HOST:PORT" for the trigger datagram; "" = none
};

// The identity a phone announces, kept in the image (created on first use).
struct DeviceIdentity {
  std::array<uint8_t, 16> guid{};
  uint32_t partnerId = 0;
  uint32_t processorType = 0;
};

class Dialler {
 public:
  Dialler(Emulator& emulator, DialOptions options);
  ~Dialler();
  Dialler(const Dialler&) = delete;
  Dialler& operator=(const Dialler&) = delete;

  // Binds the trigger port and starts dialling; returns the trigger address ("HOST:PORT",
  // "" without one). Throws std::runtime_error when an address is malformed.
  std::string Start();
  void Stop();

  // The user unlocks the phone on its screen (WM6 lock).
  void Unlock();
  // Faults of the control channel: close it (the phone then waits for a trigger), stop
  // reading it (no answers to keep-alives or session requests), ignore the next n session
  // requests.
  void DropControl();
  void Stall(bool stalled);
  void RefuseSessions(int n);
  void ClearFaults();

  bool connected() const { return connected_; }
  int dials() const { return dials_; }
  // The information the phone sends (exposed for tests).
  ctlwire::DeviceInfo Info();

 private:
  void Loop();
  void RunChannel();
  bool Expect(int fd, ctlwire::Reader& reader, size_t bytes);
  void OpenSession(uint32_t id);
  void Wake();

  Emulator& emu_;
  DialOptions options_;
  std::string host_, port_;
  int udp_ = -1;
  int wake_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> dials_{0};
  std::atomic<bool> unlock_{false};
  std::atomic<bool> drop_{false};
  std::atomic<bool> stalled_{false};
  std::atomic<int> refuse_{0};
};

}  // namespace wmemu
