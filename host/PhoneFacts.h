// What the CLI asks the phone directly over the Remote API session the component uses too,
// where the component has no interface for it: the shell's special folders, one file's
// attributes and size, and the phone's battery, processor and store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace qwbhost {

struct SpecialFolder {
  std::string name;  // "My Documents", "Programs", ...
  int csidl = 0;
  std::string path;  // device path ("\My Documents")
};

// The special folders the phone reports, in a fixed order. Throws HostError when the phone
// cannot be reached.
std::vector<SpecialFolder> SpecialFolders();
// The device path of My Documents; nullopt when the phone does not say.
std::optional<std::string> MyDocumentsFolder();

// The CLI's main-memory path ("/My Documents/a.txt") as a device path ("\My Documents\a.txt")
// and back.
std::string DevicePathOf(const std::string& cliPath);
std::string CliPathOf(const std::string& devicePath);

struct FileFacts {
  uint32_t attributes = 0;
  bool folder = false;
  uint64_t size = 0;  // files only
};
// One file or folder, asked by its device path. Throws HostError when it does not exist.
FileFacts StatDevicePath(const std::string& devicePath);
// "d r h s a" letters of an attribute set, as `files ls -l` shows them.
std::string AttributeLetters(uint32_t attributes);

// Battery and mains, processor and main store, for `info`: {"power": {...}, "system": {...},
// "store": {...}}; a section the phone does not answer is null.
nlohmann::json PowerSystemStoreJson();
// Its text lines, label and value.
std::vector<std::pair<std::string, std::string>> PowerSystemStoreLines(const nlohmann::json& j);

}  // namespace qwbhost
