// The phone as a system: its processor, battery and clock, its special folders, the programs
// it can start and the configuration documents it answers. What changes (battery, clock
// offset, the programs started) is kept in the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/DeviceFs.h"
#include "emulator/DeviceRegistry.h"
#include "emulator/Image.h"
#include "platform/rapi/Rapi2Calls.h"

namespace wmemu {

// Special folder numbers the phone knows (CSIDL_*).
inline constexpr uint32_t kCsidlPrograms = 0x02, kCsidlPersonal = 0x05,
                          kCsidlFavoritesGryphon = 0x06, kCsidlStartup = 0x07,
                          kCsidlRecent = 0x08, kCsidlStartMenu = 0x0b,
                          kCsidlDesktopDirectory = 0x10, kCsidlFonts = 0x14,
                          kCsidlFavorites = 0x16;

// One program start the phone was asked for.
struct ProcessStart {
  int64_t id = 0;
  std::u16string program;      // the resolved device path
  std::u16string commandLine;  // "" when none was given
};

class DeviceSystem {
 public:
  DeviceSystem(Image& image, DeviceFs& fs, DeviceRegistry& registry)
      : image_(image), fs_(fs), registry_(registry) {}

  // The processor and memory layout of an ARM phone.
  static rapi2::SystemInfo SystemInfo();

  // Battery and mains as kept in the image (a cradled phone with a full battery when unset).
  rapi2::PowerStatus Power();
  void SetPower(const rapi2::PowerStatus& s);
  // Named states for tests and the control socket: "cradled", "charging", "battery", "low",
  // "critical". False for another name.
  bool SetPowerState(std::string_view state);

  // The path of a special folder, or the Win32 error: 87 for a number the phone does not
  // know, 3 when the folder is missing from its file system.
  uint32_t SpecialFolder(uint32_t csidl, std::u16string* path);

  // The phone's clock: the host's clock plus an offset kept in the image.
  uint64_t Now();  // FILETIME
  void SetClock(uint64_t filetime);

  // Starts a program: a bare name is looked up in \Windows. Only the programs the image
  // names as built in run; they record the start. Answers 0 or the Win32 error.
  uint32_t StartProcess(std::u16string_view application, std::u16string_view commandLine,
                        ProcessStart* started);
  std::vector<ProcessStart> ProcessStarts();
  // Makes `path` (a file in the image) a program the phone can run.
  void AddBuiltInProgram(std::u16string_view path);

  // A configuration document: the registry provider's queries are answered with the values
  // they name; other providers, changes and malformed documents are refused.
  // Answers the reply text, or the Win32 error with *hr the HRESULT to report.
  uint32_t ProcessConfig(std::u16string_view xml, uint32_t flags, std::u16string* reply,
                         int32_t* hr);

 private:
  Image& image_;
  DeviceFs& fs_;
  DeviceRegistry& registry_;
};

}  // namespace wmemu
