// What the file table and the file items share: the module-wide folder numbering and storage
// card state, the storage card detection from the phone's storage manager registry values,
// the storage card folder probe, the conversion of the host's folder paths into device paths,
// the status columns made from file attributes, transport errors, the connection check and
// the delete-info file (the record of a half-written device file).
//
// Host folder paths use "/" from the root of the phone's main memory ("/My Documents") and
// mark the storage cards: a leading "\" is the storage card folder the probe found, "*" the
// first card folder and "*2" the second. Device paths use "\" throughout.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "wincompat/wintypes.h"

namespace qwb::files {

// The probe's answer when the phone has no storage card folder at its root.
inline constexpr char16_t kNoStorageCard[] = u"*Empty*";

// Card detection's result: 0 no card, 1 one card, 2 two cards, and the card folder names.
struct StorageCards {
  int state = 0;
  std::u16string first, second;
  bool operator==(const StorageCards&) const = default;
};

// One copy for all file tables and items of the process (apartment-threaded: no lock).
struct FileModuleState {
  ULONG folderIdCounter = 0;  // the last FolderID given
  StorageCards cards;
};
FileModuleState& ModuleState();

// Reads a device registry string under HKEY_LOCAL_MACHINE; false when it cannot be read.
using RegStringReader =
    std::function<bool(std::u16string_view key, std::u16string_view value, std::u16string* out)>;
// The phone's own registry.
RegStringReader DeviceRegistryReader();

// Card detection from the storage manager profiles (MMC partitions, the MMC profile, the
// SD card state key and the iNAND profile).
StorageCards DetectStorageCards(const RegStringReader& read);

// The storage card folder probe: the first root entry (in the phone's order) with both the
// directory and the temporary attribute whose name begins with the SD memory profile's folder;
// kNoStorageCard when the profile has no folder or nothing matches.
struct RootEntry {
  std::u16string name;
  DWORD attributes = 0;
};
std::u16string PickStorageCardFolder(bool profileRead, std::u16string_view profileFolder,
                                     const std::vector<RootEntry>& root);
std::u16string ProbeStorageCardFolder();  // against the phone

// The device folder for a host folder path, and which root it used: -1 none (empty path),
// 0 the probe's storage card folder, 1 the first card folder, 2 the second, 3 main memory.
struct ConvertedPath {
  std::u16string folder;
  int root = -1;
};
// `probe` is asked for the storage card folder only when the path needs it.
ConvertedPath ConvertHostPath(std::u16string_view hostPath,
                              const std::function<std::u16string()>& probe,
                              std::u16string_view firstCard, std::u16string_view secondCard);
// "\" followed by a root folder's name.
std::u16string RootFolder(std::u16string_view name);
// "%s/%s" of folder and name with every "/" made "\".
std::u16string JoinDevicePath(std::u16string_view folder, std::u16string_view name);
// Every "/" made "\".
std::u16string BackslashPath(std::u16string_view path);

// Paths of this many characters or more are refused (module error 13015).
inline constexpr size_t kMaxPathChars = 260;

// The status bits of file attributes: read-only 16, hidden 8, system 4, from the attribute
// word reduced by 16 until it is 7 or less.
ULONG StatusBitsFromAttributes(DWORD attributes);

// The PC's last error as an HRESULT: values of 0 or less as they are, v as 0x80070000|v.
HRESULT LastTransportError();
// Whether a transport error shows that the connection is gone.
bool IsDisconnection(HRESULT hr);

// Whether the phone still answers: reads HKLM "Ident" "OrigName" into *name.
bool PhoneAttached(std::u16string* name);

// The delete-info file under the application-data folder.
std::u16string DeleteInfoPath();
// Writes the device path (UTF-16, no terminator), replacing earlier content.
bool WriteDeleteInfo(std::u16string_view devicePath);
// The device path recorded, at most 1024 characters (empty when the file is missing).
std::u16string ReadDeleteInfo();
// The text of a delete-info file's bytes: UTF-16LE up to the first NUL, at most 1024
// characters; a trailing odd byte is ignored.
std::u16string DecodeDeleteInfo(const void* bytes, size_t size);

}  // namespace qwb::files
