#include "tables/files/FileStorage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/Log.h"
#include "link/RapiBase.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace qwb::files {
namespace {

constexpr char16_t kProfiles[] = u"System\\StorageManager\\Profiles\\";
constexpr size_t kMaxDeleteInfoChars = 1024;
constexpr DWORD kAppDataChars = 4096;

std::u16string Profile(std::u16string_view name) { return kProfiles + std::u16string(name); }

bool StartsWith(std::u16string_view s, std::u16string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

void ReplaceAll(std::u16string& s, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return;
  for (size_t at = s.find(from); at != std::u16string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace

FileModuleState& ModuleState() {
  static FileModuleState state;
  return state;
}

RegStringReader DeviceRegistryReader() {
  return [](std::u16string_view key, std::u16string_view value, std::u16string* out) {
    const std::u16string k(key), v(value);
    return CRapiBase::ceReadRegString(HKEY_LOCAL_MACHINE, k.c_str(), v.c_str(), out) == 1;
  };
}

StorageCards DetectStorageCards(const RegStringReader& read) {
  auto folder = [&](std::u16string_view key, std::u16string_view value = u"Folder") {
    std::u16string s;
    if (!read(key, value, &s)) s.clear();
    return s;
  };
  StorageCards cards;
  const std::u16string a = folder(Profile(u"MMC\\Part00"));
  const std::u16string b = folder(Profile(u"MMC\\Part01"));
  if (!a.empty() && !b.empty()) {
    cards = {2, a, b};
  } else if (a.empty() && !b.empty()) {
    cards.state = 1;
    if (!read(u"System\\State\\Tolvane\\SDCARD", u"InStorageFolder", &cards.first))
      cards.first = folder(Profile(u"INAND"));
  } else {
    const std::u16string c = folder(Profile(u"MMC"));
    if (!EqualsNoCase(c, u"Storage Card")) cards = {1, c, u""};
  }
  return cards;
}

std::u16string PickStorageCardFolder(bool profileRead, std::u16string_view profileFolder,
                                     const std::vector<RootEntry>& root) {
  if (!profileRead) return kNoStorageCard;
  constexpr DWORD kCardRoot = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
  for (const RootEntry& e : root) {
    if ((e.attributes & kCardRoot) == kCardRoot && StartsWith(e.name, profileFolder)) return e.name;
  }
  return kNoStorageCard;
}

std::u16string ProbeStorageCardFolder() {
  std::u16string sd;
  if (!DeviceRegistryReader()(Profile(u"SDMemory"), u"Folder", &sd)) return kNoStorageCard;
  std::vector<RootEntry> root;
  CE_FIND_DATA fd{};
  HANDLE h = CeFindFirstFile(u"\\*.*", &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      root.push_back({fd.cFileName, fd.dwFileAttributes});
    } while (CeFindNextFile(h, &fd));
    CeFindClose(h);
  }
  return PickStorageCardFolder(true, sd, root);
}

ConvertedPath ConvertHostPath(std::u16string_view hostPath,
                              const std::function<std::u16string()>& probe,
                              std::u16string_view firstCard, std::u16string_view secondCard) {
  ConvertedPath out;
  out.folder = hostPath;
  if (hostPath.empty()) return out;
  auto card = [&](std::u16string_view folderName, std::u16string_view alone,
                  std::u16string_view marker, int root) {
    const std::u16string r = RootFolder(folderName);
    if (hostPath == alone) {
      out.folder = r;
    } else {
      out.folder = BackslashPath(hostPath);
      ReplaceAll(out.folder, marker, r);
    }
    out.root = root;
  };
  if (hostPath.front() == u'\\') {
    const std::u16string r = RootFolder(probe());
    out.folder = hostPath == u"\\" ? r : r + std::u16string(hostPath);
    out.root = 0;
  } else if (hostPath.find(u"*2") != std::u16string_view::npos) {
    card(secondCard, u"*2", u"\\*2", 2);
  } else if (hostPath.find(u'*') != std::u16string_view::npos) {
    card(firstCard, u"*", u"\\*", 1);
  } else {
    out.root = 3;
  }
  return out;
}

std::u16string RootFolder(std::u16string_view name) {
  std::u16string s(1, u'\\');
  s.append(name);
  return s;
}

std::u16string BackslashPath(std::u16string_view path) {
  std::u16string s(path);
  for (char16_t& c : s)
    if (c == u'/') c = u'\\';
  return s;
}

std::u16string JoinDevicePath(std::u16string_view folder, std::u16string_view name) {
  return BackslashPath(std::u16string(folder) + u"/" + std::u16string(name));
}

ULONG StatusBitsFromAttributes(DWORD attributes) {
  int64_t a = attributes;
  if (a > 7) a -= 16 * ((a - 7 + 15) / 16);
  switch (a) {
    case 1:
      return 16;
    case 2:
      return 8;
    case 3:
      return 24;
    case 4:
      return 4;
    case 5:
      return 20;
    case 6:
      return 12;
    case 7:
      return 28;
    default:
      return 0;
  }
}

HRESULT LastTransportError() {
  const auto v = static_cast<LONG>(GetLastError());
  return v <= 0 ? v : static_cast<HRESULT>(0x80070000u | (static_cast<ULONG>(v) & 0xFFFFu));
}

bool IsDisconnection(HRESULT hr) {
  return hr == static_cast<HRESULT>(0x80072746u) || hr == static_cast<HRESULT>(0x800704B1u);
}

bool PhoneAttached(std::u16string* name) {
  return CRapiBase::ceReadRegString(HKEY_LOCAL_MACHINE, u"Ident", u"OrigName", name) == 1;
}

std::u16string DeleteInfoPath() {
  std::vector<WCHAR> buffer(kAppDataChars + 1, 0);
  const DWORD n = GetEnvironmentVariableW(u"APPDATA", buffer.data(), kAppDataChars);
  const std::u16string appData(buffer.data(), n <= kAppDataChars ? n : 0);
  return appData + u"/Tolvane/Orvanta/QWB_Trovix_DeleteFileInfo.ini";
}

bool WriteDeleteInfo(std::u16string_view devicePath) {
  const std::filesystem::path path(ToUtf8(DeleteInfoPath()));
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  FilePtr f(std::fopen(path.c_str(), "w+"));
  if (!f) return false;
  std::string bytes;
  for (char16_t c : devicePath) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

std::u16string DecodeDeleteInfo(const void* bytes, size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::u16string text;
  for (size_t i = 0; i + 1 < size && text.size() < kMaxDeleteInfoChars; i += 2) {
    const char16_t c = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::u16string ReadDeleteInfo() {
  FilePtr f(std::fopen(ToUtf8(DeleteInfoPath()).c_str(), "r"));
  if (!f) return {};
  unsigned char buffer[kMaxDeleteInfoChars * 2];
  const size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
  return DecodeDeleteInfo(buffer, n);
}

}  // namespace qwb::files
