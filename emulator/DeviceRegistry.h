// The device registry: keys under the four roots and typed values, kept in image.sqlite.
// Key and value names are matched without case and stored with the case they were created
// with. Key ids are database ids; the RAPI server maps its per-connection handles onto them.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator/Image.h"

namespace wmemu {

inline constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kHkeyUsers = 0x80000003u;

class DeviceRegistry {
 public:
  struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };

  struct NamedValue {
    std::u16string name;
    Value value;
  };

  explicit DeviceRegistry(Image& image) : image_(image) {}

  static bool IsRoot(uint32_t hkey) { return hkey >= kHkeyClassesRoot && hkey <= kHkeyUsers; }
  // The key id of a root (hkey must be one of the four roots).
  int64_t Root(uint32_t hkey);
  // The key below `key` named by `sub` (backslash-separated; "" is the key itself).
  std::optional<int64_t> Open(int64_t key, std::u16string_view sub);
  // Creates the missing keys along `sub`; second is true when the last one was new.
  std::pair<int64_t, bool> Create(int64_t key, std::u16string_view sub);
  std::optional<Value> Query(int64_t key, std::u16string_view name);
  void Set(int64_t key, std::u16string_view name, uint32_t type, const std::vector<uint8_t>& data);

  // False once the key was deleted.
  bool Exists(int64_t key);
  // The subkeys' names and the values of a key, in the order they were created (stable
  // while the key changes elsewhere: an enumeration index keeps meaning the same entry).
  std::vector<std::u16string> SubKeys(int64_t key);
  std::vector<NamedValue> Values(int64_t key);
  // Deletes the key below `key` named by `sub` with all its subkeys and values, as the
  // device does ("" deletes `key` itself; a root cannot be deleted). Win32 error or 0.
  uint32_t DeleteKey(int64_t key, std::u16string_view sub);
  uint32_t DeleteValue(int64_t key, std::u16string_view name);

  // Conveniences for presets and tests: root + path addressing.
  void SetString(uint32_t root, std::u16string_view path, std::u16string_view name,
                 std::u16string_view value, uint32_t type = 1 /*REG_SZ*/);
  void SetDword(uint32_t root, std::u16string_view path, std::u16string_view name, uint32_t v);
  void SetMultiString(uint32_t root, std::u16string_view path, std::u16string_view name,
                      const std::vector<std::u16string>& values);
  void SetBinary(uint32_t root, std::u16string_view path, std::u16string_view name,
                 const std::vector<uint8_t>& data);
  std::optional<std::u16string> GetString(uint32_t root, std::u16string_view path,
                                          std::u16string_view name);
  std::optional<uint32_t> GetDword(uint32_t root, std::u16string_view path,
                                   std::u16string_view name);

  // HKLM\Ident OrigName ("" when missing): the phone's model, which the service looks at on
  // many of its calls. Read again only after the image changed.
  std::u16string ModelName();

  // REG_SZ data of a text: UTF-16LE with the terminator.
  static std::vector<uint8_t> StringData(std::u16string_view s);

 private:
  Image& image_;
  std::mutex modelMu_;
  uint64_t modelGeneration_ = UINT64_MAX;
  std::u16string model_;
};

}  // namespace wmemu
