#include "emulator/ServiceRegistry.h"

#include "emulator/DeviceRegistry.h"
#include "emulator/Text.h"

namespace wmemu {

int ModelTypeOf(std::u16string_view modelName) {
  static const struct {
    const char16_t* name;
    int type;
  } kModels[] = {{u"Hanul HD-100", 0}, {u"Aster W1", 1},     {u"Aster Pad M7", 2},
                 {u"Hanul HS-200", 3}, {u"Hanul HL-300", 4}, {u"Hanul HK-400", 5},
                 {u"Aster S2", 6}};
  for (auto& m : kModels)
    if (EqualNoCase(modelName, m.name)) return m.type;
  return 1;
}

std::u16string ServiceContext::modelName() {
  return registry_.ModelName();
}

ServiceRegistry::ServiceRegistry() {
  // Test aid: answers the request bytes unchanged.
  AddBlock("DevCeEcho",
           [](ServiceContext&, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
             *out = in;
             return int32_t(0);
           });
  // Test aid: sends every byte back until the peer closes the stream.
  AddStream("DevCeEchoStream", [](ServiceContext&, ServiceStream& s) {
    uint8_t buf[4096];
    for (;;) {
      size_t n = s.ReadSome(buf, sizeof buf);
      if (n == 0 || !s.Write(buf, n)) return;
    }
  });
}

void ServiceRegistry::AddBlock(const std::string& name, BlockFunction fn) {
  std::lock_guard<std::mutex> lock(mu_);
  blocks_[name] = std::move(fn);
}

void ServiceRegistry::AddStream(const std::string& name, StreamFunction fn) {
  std::lock_guard<std::mutex> lock(mu_);
  streams_[name] = std::move(fn);
}

BlockFunction ServiceRegistry::FindBlock(std::u16string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = blocks_.find(Utf8(name));
  return it == blocks_.end() ? nullptr : it->second;
}

StreamFunction ServiceRegistry::FindStream(std::u16string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = streams_.find(Utf8(name));
  return it == streams_.end() ? nullptr : it->second;
}

bool ServiceRegistry::Has(std::u16string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::string n = Utf8(name);
  return blocks_.count(n) || streams_.count(n);
}

bool ServiceRegistry::IsServiceLibrary(std::u16string_view dllPath) {
  const size_t slash = dllPath.find_last_of(u"\\/");
  const std::u16string_view file =
      slash == std::u16string_view::npos ? dllPath : dllPath.substr(slash + 1);
  return EqualNoCase(file, u"qwbrapiserver") || EqualNoCase(file, u"qwbrapiserver.dll");
}

}  // namespace wmemu
