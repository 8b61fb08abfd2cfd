// One RAPI2 connection of the emulator: reads request frames, answers each with one reply
// frame, and hands the connection to a stream function when asked for one. Handles (files,
// searches, registry keys) belong to the connection and are freed when it closes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "emulator/DeviceFs.h"
#include "emulator/DeviceRegistry.h"
#include "emulator/DeviceSystem.h"
#include "emulator/FaultInjector.h"
#include "emulator/ServiceRegistry.h"
#include "platform/rapi/Rapi2Calls.h"
#include "platform/rapi/Rapi2Wire.h"

namespace wmemu {

// What every connection of one emulator shares.
struct DeviceCore {
  Image& image;
  DeviceFs& fs;
  DeviceRegistry& registry;
  DeviceSystem& system;
  ServiceRegistry& services;
  FaultInjector& faults;
};

// The socket of a connection; writes go through the byte-limit fault.
class Connection : public ServiceStream {
 public:
  // ioTimeoutMs bounds the rest of a request once its first byte came, and every reply
  // write; maxFrame caps a request frame. < 0: no time-out.
  Connection(int fd, FaultInjector& faults, int ioTimeoutMs = -1,
             uint32_t maxFrame = rapi2::kMaxFrame);
  // Reads the next request frame, waiting for it to begin without time-out.
  virtual rapi2::IoResult ReadFrame(std::vector<uint8_t>* payload);
  int fd() const { return fd_; }
  bool Read(void* p, size_t n) override;
  bool ReadNext(void* p, size_t n) override;
  bool Write(const void* p, size_t n) override;
  size_t ReadSome(void* p, size_t n) override;
  bool WriteReply(std::string_view name, const void* p, size_t n) override;
  // The reply to a call known by two names (CeRapiInvoke and its DevCe function).
  bool WriteReply(std::string_view name, std::string_view alt, const void* p, size_t n);
  bool dropped() const { return dropped_; }

 private:
  int fd_;
  FaultInjector& faults_;
  int ioTimeoutMs_;
  uint32_t maxFrame_;
  bool dropped_ = false;
};

// A connection whose peer has sent `input` and then closed its side: what the session writes
// is collected in output(). Serves a whole connection in the calling thread, without a
// socket (the fuzz target of the request reader runs thousands of these a second).
class MemoryConnection : public Connection {
 public:
  MemoryConnection(const uint8_t* input, size_t size, FaultInjector& faults)
      : Connection(-1, faults), in_(input), size_(size) {}
  rapi2::IoResult ReadFrame(std::vector<uint8_t>* payload) override;
  bool Read(void* p, size_t n) override;
  bool ReadNext(void* p, size_t n) override { return Read(p, n); }
  bool Write(const void* p, size_t n) override;
  size_t ReadSome(void* p, size_t n) override;
  const std::vector<uint8_t>& output() const { return out_; }

 private:
  const uint8_t* in_;
  size_t size_;
  size_t at_ = 0;
  std::vector<uint8_t> out_;
};

// The name of a RAPI2 command word ("CeReadFile"), "" when unknown.
const char* RapiCommandName(uint32_t command);

class RapiSession {
 public:
  RapiSession(DeviceCore& core, Connection& conn) : core_(core), conn_(conn) {}
  ~RapiSession();
  // Serves until the peer closes, a fault drops the connection or a stream function ends.
  void Run();

 private:
  enum class Outcome { kReply, kDrop, kStreamDone };
  Outcome Handle(uint32_t cmd, rapi2::Reader& rd, rapi2::Writer* w);
  void FindFirst(rapi2::Reader& rd, rapi2::Writer* w);
  void FindNext(rapi2::Reader& rd, rapi2::Writer* w);
  void FindAll(rapi2::Reader& rd, rapi2::Writer* w);
  void RegOpen(rapi2::Reader& rd, rapi2::Writer* w, bool create);
  void RegQuery(rapi2::Reader& rd, rapi2::Writer* w);
  void RegSet(rapi2::Reader& rd, rapi2::Writer* w);
  Outcome Invoke(rapi2::Reader& rd, rapi2::Writer* w);
  void FileCall(uint32_t cmd, rapi2::Reader& rd, rapi2::Writer* w);
  void RegistryCall(uint32_t cmd, rapi2::Reader& rd, rapi2::Writer* w);
  void SystemCall(uint32_t cmd, rapi2::Reader& rd, rapi2::Writer* w);
  uint32_t NewHandle();
  // 0, or the error of a handle that is not a key of this connection or whose key is gone.
  uint32_t KeyOf(uint32_t hkey, int64_t* id);

  struct Search {
    std::vector<FileEntry> entries;
    size_t next = 0;
  };

  DeviceCore& core_;
  Connection& conn_;
  uint32_t nextHandle_ = 0x1000;
  std::map<uint32_t, std::shared_ptr<DeviceFs::OpenFile>> files_;
  std::map<uint32_t, Search> searches_;
  std::map<uint32_t, int64_t> keys_;
  std::set<uint32_t> processes_;  // process and thread handles of started programs
  // The bytes of the last file read (kept: a buffer per session, not per read), and the file
  // whose next block is read ahead once the reply to a full read has gone.
  std::vector<uint8_t> fileData_;
  std::shared_ptr<DeviceFs::OpenFile> readAhead_;
  uint32_t readAheadBytes_ = 0;
};

// The reply a command gives when it fails with a device error, typed by its family: every
// unconditional field present, with the value its readers take for failure (for the
// registry the error is the result, for HRESULT calls the HRESULT of the error; attribute,
// size, position and handle words 0xFFFFFFFF). `request` stands after the command word
// (some layouts depend on it). A command with no known layout gets word 0 alone.
void WriteFailure(uint32_t command, uint32_t error, const rapi2::Reader& request,
                  rapi2::Writer* w);
inline void WriteFailure(uint32_t command, uint32_t error, rapi2::Writer* w) {
  WriteFailure(command, error, rapi2::Reader(nullptr, 0), w);
}

}  // namespace wmemu
