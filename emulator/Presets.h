// The images `qwbdcawm-emu init` creates: "empty" (a phone just out of its box: the usual
// folders, the registry the component reads, no card, no data) and "demo" (a phone in use:
// documents, pictures, voice notes, a storage card with camera pictures, a dozen tasks, a calendar,
// an address book of 320 contacts).
#pragma once

#include <string>

#include "emulator/Image.h"

namespace wmemu {

inline constexpr const char* kDefaultModel = "Aster W1";

// The version of each preset's content. Change it with any change to what a preset builds:
// images record the preset and version they were made from, and hosts that keep a demo image
// make it anew when the version differs.
// 2: the address book, calendar, messages, SIM and storage cards per model family.
// 3: MMS limits and xLink dialling per model family; voice notes on the card.
// 4: the shell's special folders, the installer programs and the installed-programs list.
// 5: contact photos.
inline constexpr int kDemoPresetVersion = 6;
inline constexpr int kEmptyPresetVersion = 2;
// The version of `preset`; 0 for an unknown one.
int PresetVersion(const std::string& preset);

// Fills a freshly created image. Throws on an unknown preset.
void BuildPreset(Image& image, const std::string& preset, const std::string& modelName);

// An OLE automation date (days since 30 December 1899) of a UTC calendar time.
double OleDate(int year, int month, int day, int hour = 0, int minute = 0);
// A FILETIME (100 ns units since 1601) of a UTC calendar time.
uint64_t FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0);

}  // namespace wmemu
