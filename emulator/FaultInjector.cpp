#include "emulator/FaultInjector.h"

#include <algorithm>

namespace wmemu {

namespace {
bool Matches(const std::string& rule, std::string_view name, std::string_view alt) {
  return rule.empty() || rule == name || (!alt.empty() && rule == alt);
}
}  // namespace

void FaultInjector::FailNext(const std::string& name, int count, uint32_t deviceError) {
  std::lock_guard<std::mutex> lock(mu_);
  if (count > 0) failures_.push_back({name, count, {false, deviceError}});
}

void FaultInjector::FailNextHr(const std::string& name, int count, int32_t hr) {
  std::lock_guard<std::mutex> lock(mu_);
  if (count > 0) failures_.push_back({name, count, {true, static_cast<uint32_t>(hr)}});
}

void FaultInjector::DropAfterBytes(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  dropAfter_ = bytes;
}

void FaultInjector::DropOnCall(int n, const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  dropCallIn_ = n > 0 ? n : 0;
  dropCallName_ = name;
}

void FaultInjector::Unplug() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(mu_);
    unplugged_ = true;
    fn = onUnplug_;
  }
  if (fn) fn();
}

void FaultInjector::Replug() {
  std::lock_guard<std::mutex> lock(mu_);
  unplugged_ = false;
}

bool FaultInjector::unplugged() const {
  std::lock_guard<std::mutex> lock(mu_);
  return unplugged_;
}

void FaultInjector::Delay(int ms, const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  std::erase_if(delays_, [&](const DelayRule& d) { return d.name == name; });
  if (ms > 0) delays_.push_back({name, ms});
}

void FaultInjector::DropAfterFileBytes(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  fileBytesLeft_ = bytes;
}

uint64_t FaultInjector::AllowFileBytes(uint64_t n, bool* drop) {
  std::lock_guard<std::mutex> lock(mu_);
  *drop = false;
  if (!fileBytesLeft_) return n;
  if (*fileBytesLeft_ == 0) {
    fileBytesLeft_.reset();
    *drop = true;
    return 0;
  }
  const uint64_t allowed = n < *fileBytesLeft_ ? n : *fileBytesLeft_;
  *fileBytesLeft_ -= allowed;
  return allowed;
}

void FaultInjector::CutReply(const std::string& name, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  cutName_ = name;
  cutAfter_ = bytes;
}

uint64_t FaultInjector::FirstReplySize(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& [n, size] : replySizes_)
    if (n == name) return size;
  return 0;
}

size_t FaultInjector::ReplyBytes(std::string_view name, std::string_view alt, size_t size,
                                 bool* cut) {
  std::lock_guard<std::mutex> lock(mu_);
  *cut = false;
  // Remembered under both names; a handful of names between two Clear()s, so a small list.
  for (std::string_view n : {name, alt}) {
    if (n.empty() || replySizes_.size() >= 256) continue;
    auto it = std::find_if(replySizes_.begin(), replySizes_.end(),
                           [&](const auto& e) { return e.first == n; });
    if (it == replySizes_.end()) replySizes_.emplace_back(std::string(n), size);
  }
  if (!cutAfter_ || !Matches(cutName_, name, alt)) return size;
  const uint64_t after = *cutAfter_;
  cutAfter_.reset();
  if (after >= size) return size;
  *cut = true;
  return static_cast<size_t>(after);
}

void FaultInjector::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  failures_.clear();
  dropAfter_.reset();
  fileBytesLeft_.reset();
  dropCallIn_ = 0;
  dropCallName_.clear();
  unplugged_ = false;
  delays_.clear();
  cutAfter_.reset();
  cutName_.clear();
  replySizes_.clear();
}

std::optional<InjectedFailure> FaultInjector::TakeFailure(std::string_view name,
                                                          std::string_view alt) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (!Matches(it->name, name, alt)) continue;
    InjectedFailure f = it->what;
    if (--it->count == 0) failures_.erase(it);
    return f;
  }
  return std::nullopt;
}

bool FaultInjector::TakeDropOnCall(std::string_view name, std::string_view alt) {
  std::lock_guard<std::mutex> lock(mu_);
  if (dropCallIn_ == 0 || !Matches(dropCallName_, name, alt)) return false;
  return --dropCallIn_ == 0;
}

size_t FaultInjector::AllowWrite(size_t n, bool* drop) {
  std::lock_guard<std::mutex> lock(mu_);
  *drop = false;
  if (!dropAfter_) return n;
  if (*dropAfter_ > n) {
    *dropAfter_ -= n;
    return n;
  }
  size_t allowed = static_cast<size_t>(*dropAfter_);
  dropAfter_.reset();
  *drop = true;
  return allowed;
}

int FaultInjector::DelayFor(std::string_view name, std::string_view alt) const {
  std::lock_guard<std::mutex> lock(mu_);
  int ms = 0;
  for (auto& d : delays_)
    if (Matches(d.name, name, alt)) ms = std::max(ms, d.ms);
  return ms;
}

void FaultInjector::SetUnplugHandler(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(mu_);
  onUnplug_ = std::move(fn);
}

}  // namespace wmemu
