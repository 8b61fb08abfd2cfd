// The device-side service "QWBRapiServer": DevCe functions reached through CeRapiInvoke.
// A block function gets the request bytes and answers an HRESULT and reply bytes (sent only
// when the HRESULT is not a failure). A stream function gets the connection after the
// stream answer and runs its own packet loop on the raw bytes until it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace wmemu {

class Image;
class DeviceRegistry;
class FaultInjector;

// The model family a phone model name belongs to (the model type numbers of the model
// profile): 0 domestic, 1 international (also any unknown name), 2 MID, 3 domestic SKT,
// 4 domestic LGT, 5 domestic KTF, 6 international SP.
int ModelTypeOf(std::u16string_view modelName);

// What a DevCe function may use: the image's stores and the phone's model.
class ServiceContext {
 public:
  ServiceContext(Image& image, DeviceRegistry& registry, FaultInjector* faults = nullptr)
      : image_(image), registry_(registry), faults_(faults) {}
  Image& image() { return image_; }
  DeviceRegistry& registry() { return registry_; }
  // The faults a stream function applies to its own commands; null when none are injected.
  FaultInjector* faults() { return faults_; }
  // HKLM\Ident OrigName ("" when missing) and its family.
  std::u16string modelName();
  int modelType() { return ModelTypeOf(modelName()); }

 private:
  Image& image_;
  DeviceRegistry& registry_;
  FaultInjector* faults_;
};

// The raw connection a stream function owns. Writes go through the fault injection.
class ServiceStream {
 public:
  virtual ~ServiceStream() = default;
  // Reads exactly n bytes; false on end of stream, error or time-out.
  virtual bool Read(void* p, size_t n) = 0;
  // Reads the first n bytes of the next request, waiting as long as it takes to begin.
  virtual bool ReadNext(void* p, size_t n) { return Read(p, n); }
  // Writes all n bytes; false when the connection is gone.
  virtual bool Write(const void* p, size_t n) = 0;
  // Reads what is available (at least 1 byte, at most n); 0 on end of stream or error.
  virtual size_t ReadSome(void* p, size_t n) = 0;
  // Writes the whole reply to the command `name`; the reply faults of the connection apply.
  virtual bool WriteReply(std::string_view name, const void* p, size_t n) { (void)name; return Write(p, n); }
};

using BlockFunction = std::function<int32_t(ServiceContext&, const std::vector<uint8_t>& in,
                                            std::vector<uint8_t>* out)>;
using StreamFunction = std::function<void(ServiceContext&, ServiceStream&)>;

class ServiceRegistry {
 public:
  ServiceRegistry();  // registers the test aids DevCeEcho and DevCeEchoStream

  void AddBlock(const std::string& name, BlockFunction fn);
  void AddStream(const std::string& name, StreamFunction fn);
  // Null when no such function (names match exactly, as exported names do).
  BlockFunction FindBlock(std::u16string_view name) const;
  StreamFunction FindStream(std::u16string_view name) const;
  bool Has(std::u16string_view name) const;

  // True for "QWBRapiServer" (without case), with or without ".dll" and a folder.
  static bool IsServiceLibrary(std::u16string_view dllPath);

 private:
  mutable std::mutex mu_;
  std::map<std::string, BlockFunction> blocks_;
  std::map<std::string, StreamFunction> streams_;
};

}  // namespace wmemu
