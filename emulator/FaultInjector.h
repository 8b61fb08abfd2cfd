// Faults the emulator can be told to inject, from tests (this API) or from the control socket
// of `qwbdcawm-emu serve --control`. Names are RAPI call names ("CeReadFile", "CeRegOpenKeyEx",
// "CeRapiInvoke", ...) or DevCe function names ("DevCeGet"); an empty name matches every call.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wmemu {

struct InjectedFailure {
  bool isHresult = false;  // code is an HRESULT, else a device (Win32) error number
  uint32_t code = 0;
  // The device error number a RAPI call answers with.
  uint32_t DeviceError() const {
    return isHresult && ((code >> 16) & 0x1fff) == 7 ? (code & 0xFFFF) : code;
  }
  // The HRESULT a DevCe function answers with.
  int32_t Hresult() const {
    if (isHresult || static_cast<int32_t>(code) <= 0) return static_cast<int32_t>(code);
    return static_cast<int32_t>(0x80070000u | (code & 0xFFFF));
  }
};

class FaultInjector {
 public:
  // The next `count` calls named `name` fail with the device error / the HRESULT.
  void FailNext(const std::string& name, int count, uint32_t deviceError);
  void FailNextHr(const std::string& name, int count, int32_t hr);
  // The connection that writes next is closed once `bytes` more bytes went out.
  void DropAfterBytes(uint64_t bytes);
  // Once `bytes` more bytes of file contents went through CeReadFile or CeWriteFile (both
  // directions count), the connection closes: the read or write that reaches the limit moves
  // only the bytes up to it (a read answers them, a write stores them) and the next file
  // read or write closes the connection unanswered. 0 closes it at the next one.
  void DropAfterFileBytes(uint64_t bytes);
  // The next reply to a call named `name` (a RAPI call, a DevCe function or a phonebook stream
  // command) goes out only up to its first `bytes` bytes; then the connection closes. A cut at
  // or beyond the reply's size lets the whole reply out and changes nothing.
  void CutReply(const std::string& name, uint64_t bytes);
  // The size of the first whole reply to a call named `name` since the last Clear(), length
  // prefix included (0: none seen). Tests size their cuts with it.
  uint64_t FirstReplySize(const std::string& name) const;
  // The n-th call from now (1 = the next) named `name` closes its connection unanswered.
  void DropOnCall(int n, const std::string& name = "");
  // Unplug closes every connection and refuses new ones until Replug.
  void Unplug();
  void Replug();
  bool unplugged() const;
  // Replies to calls named `name` wait `ms` milliseconds (0 removes the delay).
  void Delay(int ms, const std::string& name = "");
  // Removes every fault and replugs.
  void Clear();

  // Server side.
  // A call may carry two names (CeRapiInvoke and its DevCe function); a rule matching
  // either applies once.
  std::optional<InjectedFailure> TakeFailure(std::string_view name, std::string_view alt = {});
  bool TakeDropOnCall(std::string_view name, std::string_view alt = {});
  // How many of n bytes may be written; *drop is set when the connection must close after.
  size_t AllowWrite(size_t n, bool* drop);
  int DelayFor(std::string_view name, std::string_view alt = {}) const;
  // A reply of `size` bytes to a call named name (or alt) is about to go out: how many of its
  // bytes may; *cut when the connection must close after them.
  size_t ReplyBytes(std::string_view name, std::string_view alt, size_t size, bool* cut);
  // How many of n file bytes a read or write may move; *drop when the call must instead
  // close the connection unanswered.
  uint64_t AllowFileBytes(uint64_t n, bool* drop);
  void SetUnplugHandler(std::function<void()> fn);

 private:
  struct Failure {
    std::string name;
    int count;
    InjectedFailure what;
  };
  struct DelayRule {
    std::string name;
    int ms;
  };
  mutable std::mutex mu_;
  std::vector<Failure> failures_;
  std::optional<uint64_t> dropAfter_;
  std::optional<uint64_t> fileBytesLeft_;
  std::string dropCallName_;
  int dropCallIn_ = 0;
  bool unplugged_ = false;
  std::vector<DelayRule> delays_;
  std::string cutName_;
  std::optional<uint64_t> cutAfter_;
  std::vector<std::pair<std::string, uint64_t>> replySizes_;
  std::function<void()> onUnplug_;
};

}  // namespace wmemu
