#include "link/ControlChannel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ctlwire {
namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words) Put32(&out, w);
  return out;
}

// A bounds-checked cursor over the device information.
class Cursor {
 public:
  Cursor(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  size_t left() const { return n_ - off_; }
  bool u32(uint32_t* v) {
    if (left() < 4) return false;
    *v = static_cast<uint32_t>(p_[off_]) | static_cast<uint32_t>(p_[off_ + 1]) << 8 |
         static_cast<uint32_t>(p_[off_ + 2]) << 16 | static_cast<uint32_t>(p_[off_ + 3]) << 24;
    off_ += 4;
    return true;
  }
  const uint8_t* bytes(size_t n) {
    if (left() < n) return nullptr;
    const uint8_t* at = p_ + off_;
    off_ += n;
    return at;
  }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t off_ = 0;
};

bool Fail(std::string* error, const char* what) {
  *error = what;
  return false;
}

// 8-bit text up to the first NUL (or the end of the field).
std::string FirstString(const uint8_t* p, size_t n) {
  const void* nul = std::memchr(p, 0, n);
  size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : n;
  return std::string(reinterpret_cast<const char*>(p), len);
}

}  // namespace

std::string GuidText(const std::array<uint8_t, 16>& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                g[14], g[15]);
  return buf;
}

bool ParseDeviceInfo(const uint8_t* p, size_t n, DeviceInfo* out, std::string* error) {
  DeviceInfo info;
  Cursor c(p, n);
  const uint8_t* guid = c.bytes(16);
  if (!guid) return Fail(error, "device information too short for its GUID");
  std::memcpy(info.guid.data(), guid, 16);
  uint32_t nameUnits = 0;
  if (!c.u32(&info.osMajor) || !c.u32(&info.osMinor) || !c.u32(&nameUnits))
    return Fail(error, "device information too short for the OS version and name length");
  if (nameUnits > kMaxNameUnits) return Fail(error, "device name longer than 31 characters");
  const uint8_t* name = c.bytes(2 * static_cast<size_t>(nameUnits) + 2);
  if (!name) return Fail(error, "device name runs past the end of the device information");
  for (uint32_t i = 0; i < nameUnits; ++i) {
    char16_t u = static_cast<char16_t>(name[2 * i] | name[2 * i + 1] << 8);
    if (u == 0) break;
    info.name.push_back(u);
  }
  uint32_t platformBytes = 0;
  if (!c.u32(&info.version) || !c.u32(&info.cpuType) || !c.u32(&info.unknown) ||
      !c.u32(&info.partnerId) || !c.u32(&info.id) || !c.u32(&platformBytes))
    return Fail(error, "device information too short for its version, processor and ids");
  if (platformBytes > kMaxPlatformBytes) return Fail(error, "platform name longer than 255 bytes");
  const uint8_t* platform = c.bytes(platformBytes);
  if (!platform) return Fail(error, "platform name runs past the end of the device information");
  info.platform = FirstString(platform, platformBytes);
  uint32_t modelBytes = 0;
  if (!c.u32(&modelBytes)) return Fail(error, "device information too short for the model length");
  if (modelBytes > kMaxModelBytes) return Fail(error, "model name longer than 255 bytes");
  const uint8_t* model = c.bytes(static_cast<size_t>(modelBytes) + 1);
  if (!model) return Fail(error, "model name runs past the end of the device information");
  info.model = FirstString(model, modelBytes);
  uint32_t count = 0;
  if (!c.u32(&count)) return Fail(error, "device information too short for the component count");
  if (count > kMaxComponents) return Fail(error, "more than 6 platform components");
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* comp = c.bytes(8);
    if (!comp) return Fail(error, "platform components run past the end of the device information");
    std::array<uint8_t, 8> a;
    std::memcpy(a.data(), comp, 8);
    info.components.push_back(a);
  }
  if (!c.u32(&info.passwordKey))
    return Fail(error, "device information too short for the password key");
  if (c.left() > 0) {
    // Optional extra data: a count, then that many bytes counted from the count word.
    uint32_t extra = 0;
    size_t left = c.left();
    if (!c.u32(&extra)) return Fail(error, "stray bytes after the password key");
    if (extra > left) return Fail(error, "extra data runs past the end of the device information");
  }
  *out = std::move(info);
  return true;
}

std::vector<uint8_t> PhoneHello() { return Words({kPhoneHello}); }
std::vector<uint8_t> PhoneRequest() { return Words({kPhoneRequest}); }
std::vector<uint8_t> Pong() { return Words({kPong}); }
std::vector<uint8_t> SessionHello(uint32_t id) { return Words({id}); }
std::vector<uint8_t> UnlockResult(uint32_t result) { return Words({result}); }
std::vector<uint8_t> HelloAnswer() { return Words({kHelloAnswer}); }
std::vector<uint8_t> RequestAnswer() { return Words({7, 8, 4, 5}); }
std::vector<uint8_t> ShowUnlockScreen() { return Words({kShowUnlockScreen}); }
std::vector<uint8_t> UnlockAccepted() { return Words({0, kUnlockConfirm}); }
std::vector<uint8_t> Ping() { return Words({kPing}); }
std::vector<uint8_t> SessionRequest(uint32_t id) { return Words({kSessionRequest, 4, id}); }

std::vector<uint8_t> PasswordVerdict(bool accepted) {
  std::vector<uint8_t> out;
  Put16(&out, accepted ? 1 : 0);
  return out;
}

std::vector<uint8_t> PasswordMessage(const std::u16string& password, uint32_t key) {
  if (password.size() * 2 > kMaxPasswordBytes) return {};
  const uint8_t x = static_cast<uint8_t>(key & 0xFF);
  std::vector<uint8_t> out;
  Put16(&out, static_cast<uint16_t>(password.size() * 2));
  for (char16_t u : password) {
    out.push_back(static_cast<uint8_t>(u) ^ x);
    out.push_back(static_cast<uint8_t>(u >> 8) ^ x);
  }
  return out;
}

std::vector<uint8_t> DeviceInfoMessage(const DeviceInfo& info) {
  std::vector<uint8_t> body;
  body.insert(body.end(), info.guid.begin(), info.guid.end());
  Put32(&body, info.osMajor);
  Put32(&body, info.osMinor);
  size_t units = std::min<size_t>(info.name.size(), kMaxNameUnits);
  Put32(&body, static_cast<uint32_t>(units));
  for (size_t i = 0; i < units; ++i) Put16(&body, static_cast<uint16_t>(info.name[i]));
  Put16(&body, 0);
  Put32(&body, info.version);
  Put32(&body, info.cpuType);
  Put32(&body, info.unknown);
  Put32(&body, info.partnerId);
  Put32(&body, info.id);
  // The platform is a list of NUL-terminated strings closed by one more NUL.
  std::string platform = info.platform.substr(0, kMaxPlatformBytes - 2);
  Put32(&body, static_cast<uint32_t>(platform.size() + 2));
  body.insert(body.end(), platform.begin(), platform.end());
  body.push_back(0);
  body.push_back(0);
  std::string model = info.model.substr(0, kMaxModelBytes);
  Put32(&body, static_cast<uint32_t>(model.size()));
  body.insert(body.end(), model.begin(), model.end());
  body.push_back(0);
  size_t comps = std::min<size_t>(info.components.size(), kMaxComponents);
  Put32(&body, static_cast<uint32_t>(comps));
  for (size_t i = 0; i < comps; ++i)
    body.insert(body.end(), info.components[i].begin(), info.components[i].end());
  Put32(&body, info.passwordKey);
  std::vector<uint8_t> out;
  Put32(&out, kDeviceInfo);
  Put32(&out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool Reader::Feed(const uint8_t* p, size_t n, size_t limit) {
  if (n > limit || pending() > limit - n) return false;
  if (off_ > 0 && off_ == buf_.size()) {
    buf_.clear();
    off_ = 0;
  } else if (off_ > 4096) {
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(off_));
    off_ = 0;
  }
  buf_.insert(buf_.end(), p, p + n);
  return true;
}

uint32_t Reader::Peek32(size_t at) const {
  const uint8_t* q = buf_.data() + off_ + at;
  return static_cast<uint32_t>(q[0]) | static_cast<uint32_t>(q[1]) << 8 |
         static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[3]) << 24;
}

void Reader::Consume(size_t n) {
  off_ += n;
  if (off_ == buf_.size()) {
    buf_.clear();
    off_ = 0;
  }
}

Reader::Result Reader::TakeWord(uint32_t* w) {
  if (!Have(4)) return kNeedMore;
  *w = Peek32(0);
  Consume(4);
  return kOk;
}

Reader::Result Reader::TakeHalf(uint16_t* h) {
  if (!Have(2)) return kNeedMore;
  *h = static_cast<uint16_t>(buf_[off_] | buf_[off_ + 1] << 8);
  Consume(2);
  return kOk;
}

Reader::Result Reader::TakeDeviceInfo(DeviceInfo* info, std::string* error) {
  if (!Have(4)) return kNeedMore;
  uint32_t len = Peek32(0);
  if (len > kMaxInfoBytes) {
    *error = "device information of " + std::to_string(len) + " bytes is larger than any phone's";
    return kBad;
  }
  if (!Have(4 + static_cast<size_t>(len))) return kNeedMore;
  if (!ParseDeviceInfo(buf_.data() + off_ + 4, len, info, error)) return kBad;
  Consume(4 + len);
  return kOk;
}

Reader::Result Reader::TakeRequestAnswerRest() {
  if (!Have(12)) return kNeedMore;
  if (Peek32(0) != 8 || Peek32(4) != 4 || Peek32(8) != 5) return kBad;
  Consume(12);
  return kOk;
}

Reader::Result Reader::TakeSessionRequestRest(uint32_t* id) {
  if (!Have(8)) return kNeedMore;
  if (Peek32(0) != 4) return kBad;
  *id = Peek32(4);
  Consume(8);
  return kOk;
}

Reader::Result Reader::TakePassword(uint32_t key, std::u16string* password) {
  if (!Have(2)) return kNeedMore;
  uint16_t bytes = static_cast<uint16_t>(buf_[off_] | buf_[off_ + 1] << 8);
  if (bytes > kMaxPasswordBytes || bytes % 2 != 0) return kBad;
  if (!Have(2 + static_cast<size_t>(bytes))) return kNeedMore;
  const uint8_t x = static_cast<uint8_t>(key & 0xFF);
  std::u16string pw;
  for (size_t i = 0; i < bytes; i += 2) {
    const uint8_t* q = buf_.data() + off_ + 2 + i;
    pw.push_back(static_cast<char16_t>((q[0] ^ x) | (q[1] ^ x) << 8));
  }
  if (!pw.empty() && pw.back() == 0) pw.pop_back();
  *password = std::move(pw);
  Consume(2 + bytes);
  return kOk;
}

}  // namespace ctlwire
