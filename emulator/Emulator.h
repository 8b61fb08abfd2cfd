// The phone emulator, in process: serves one phone image (a folder with fs/ and image.sqlite)
// to RAPI2 clients over loopback TCP or Unix sockets, with the device-side service
// "QWBRapiServer" and fault injection. Every connection is served on its own thread.
//
//   auto emu = wmemu::Emulator::Open(dir);
//   std::string addr = emu->Listen("tcp:127.0.0.1:0");  // "tcp:127.0.0.1:<port>"
//   ... set QWBDCAWM_DEVICE=addr and talk to it ...
//   emu->Stop();
#pragma once

#include <condition_variable>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/DeviceFs.h"
#include "emulator/Dialler.h"
#include "emulator/DeviceRegistry.h"
#include "emulator/DeviceSystem.h"
#include "emulator/FaultInjector.h"
#include "emulator/Image.h"
#include "emulator/ServiceRegistry.h"

namespace wmemu {

struct DeviceCore;

// What one emulator lets its clients hold, so that no client can make it grow without bound:
// connections over the cap are closed as they are accepted; a request frame larger than the
// cap closes its connection; a request begun must be complete, and a reply taken up by the
// client, within the I/O time-out (an idle connection between requests is kept).
struct ServeLimits {
  int maxConnections = 64;             // RAPI2 connections served at once (control apart)
  uint32_t maxRequestFrame = 16u << 20;  // bytes of one request frame
  int ioTimeoutMs = 30000;
};

class Emulator {
 public:
  // Opens an existing image; throws ImageError (a std::runtime_error) on error.
  static std::unique_ptr<Emulator> Open(const std::filesystem::path& imageDir);
  // Creates an image in dir (created if missing; must not hold an image yet).
  // preset: "empty" or "demo"; modelName goes to HKLM\Ident OrigName ("" means the default
  // model, "Aster W1"). Every image gets a device GUID of its own (HKLM\Ident DeviceGuid),
  // as two phones of one model have, and records its preset and the preset's version.
  static void CreateImage(const std::filesystem::path& dir, const std::string& preset,
                          const std::string& modelName);
  // What an image was made from; preset "" and version 0 for images that predate the record.
  struct Origin {
    std::string preset;
    int presetVersion = 0;
  };
  static Origin ReadOrigin(const std::filesystem::path& imageDir);
  ~Emulator();

  // Starts serving on "tcp:HOST:PORT" (port 0 picks one) or "unix:PATH"; returns the actual
  // address. May be called more than once. Throws std::runtime_error on failure.
  std::string Listen(const std::string& address);
  // Opens the control socket ("unix:PATH" or "tcp:HOST:PORT") taking JSON lines (see
  // Control()).
  std::string ListenControl(const std::string& address);
  // Dials a connection manager as a phone on USB does (see Dialler); returns the address of
  // the UDP trigger port ("" without one). One dialler per emulator.
  std::string Dial(const DialOptions& options);
  Dialler* dialler() { return dialler_.get(); }
  // Sets the limits for connections accepted from now on.
  void SetLimits(const ServeLimits& limits);
  ServeLimits limits();
  // RAPI2 connections being served now.
  int connectionCount();
  // Serves an already connected socket as one RAPI2 connection (takes the descriptor).
  void ServeSocket(int fd);
  // Serves `size` bytes a client sent before closing its side as one RAPI2 connection, in the
  // calling thread and without a socket; returns what the phone answered.
  std::vector<uint8_t> ServeBytes(const uint8_t* data, size_t size);
  // Closes the listeners and every connection, and waits for their threads.
  void Stop();

  // One control command as a JSON object, answered as a JSON object: {"ok":true} or
  // {"ok":false,"error":"..."}. Commands:
  //   {"cmd":"fail","name":"CeReadFile","count":2,"error":5}        device error number
  //   {"cmd":"fail","name":"DevCeGet","count":1,"hresult":"0x80004005"}
  //   {"cmd":"drop","afterBytes":100}   {"cmd":"drop","onCall":3,"name":"CeReadFile"}
  //   {"cmd":"cut","name":"DevCeGet","afterBytes":10}   the next reply to that call is cut
  //   {"cmd":"unplug"}  {"cmd":"replug"}  {"cmd":"delay","ms":200,"name":""}  {"cmd":"clear"}
  //   {"cmd":"power","state":"cradled"|"charging"|"battery"|"low"|"critical"} or
  //   {"cmd":"power","ac":0,"flag":2,"percent":12,"lifeTime":2400,"fullLifeTime":28800,
  //    "backupFlag":1,"backupPercent":100}  (battery and mains, kept in the image)
  // and, while dialling: {"cmd":"unlock"} (the user unlocks on the phone's screen),
  //   {"cmd":"control","action":"drop"|"stall"|"resume"}  {"cmd":"refuse","count":1}
  std::string Control(const std::string& jsonLine);

  FaultInjector& faults() { return faults_; }
  ServiceRegistry& services() { return services_; }
  Image& image() { return *image_; }
  DeviceFs& files() { return fs_; }
  DeviceRegistry& registry() { return registry_; }
  DeviceSystem& system() { return system_; }
  // HKLM\Ident OrigName.
  std::string modelName();
  // HKLM\Ident DeviceGuid ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"), "" when missing.
  std::string deviceGuid();
  // HKLM\Ident Name: the device name a PC shows.
  std::string deviceName();
  // The GUID, partner id and processor type the phone announces; created in the image on
  // first use.
  DeviceIdentity Identity();

 private:
  explicit Emulator(std::unique_ptr<Image> image);
  struct Listener;
  struct Conn;
  std::string StartListener(const std::string& address, bool control);
  void AcceptLoop(Listener* l);
  void ServeConnection(Conn* c);
  void ServeControl(int fd);
  void CloseConnections();
  void Reap();
  int CountServedLocked() const;

  std::unique_ptr<Image> image_;
  DeviceFs fs_;
  DeviceRegistry registry_;
  DeviceSystem system_;
  ServiceRegistry services_;
  FaultInjector faults_;
  std::unique_ptr<DeviceCore> core_;

  std::mutex mu_;
  std::condition_variable slotFreed_;  // a served connection ended
  bool stopping_ = false;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::list<std::unique_ptr<Conn>> conns_;
  std::unique_ptr<Dialler> dialler_;
  ServeLimits limits_;
};

}  // namespace wmemu
