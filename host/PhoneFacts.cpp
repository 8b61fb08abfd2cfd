#include "host/PhoneFacts.h"

#include <cstdio>

#include "host/HostError.h"
#include "host/Text.h"
#include "wincompat/rapi.h"

namespace qwbhost {

namespace {

// A counted hold on the process's RAPI session: the component's if it has one.
class RapiHold {
 public:
  explicit RapiHold(const char* what) {
    const HRESULT hr = CeRapiInit();
    ours_ = SUCCEEDED(hr) && hr != CERAPI_E_ALREADYINITIALIZED;
    if (FAILED(hr) && hr != CERAPI_E_ALREADYINITIALIZED) ThrowHr(what, hr);
  }
  ~RapiHold() {
    if (ours_) CeRapiUninit();
  }
  RapiHold(const RapiHold&) = delete;
  RapiHold& operator=(const RapiHold&) = delete;

 private:
  bool ours_ = false;
};

struct Known {
  const char* name;
  int csidl;
};
constexpr Known kFolders[] = {{"My Documents", CSIDL_PERSONAL},  {"Programs", CSIDL_PROGRAMS},
                              {"Start Menu", CSIDL_STARTMENU},   {"Startup", CSIDL_STARTUP},
                              {"Recent", CSIDL_RECENT},          {"Favorites", CSIDL_FAVORITES},
                              {"Fonts", CSIDL_FONTS},            {"Desktop", CSIDL_DESKTOPDIRECTORY}};

std::optional<std::string> FolderPath(int csidl) {
  WCHAR buf[MAX_PATH];
  const DWORD n = CeGetSpecialFolderPath(csidl, MAX_PATH, buf);
  if (n == 0) return std::nullopt;
  return Utf8(std::u16string_view(buf, n));
}

std::string Percent(BYTE v) {
  return v == BATTERY_PERCENTAGE_UNKNOWN ? "unknown" : std::to_string(v) + " %";
}

std::string Duration(DWORD seconds) {
  if (seconds == BATTERY_LIFE_UNKNOWN) return "unknown";
  char text[32];
  std::snprintf(text, sizeof text, "%u h %02u min", seconds / 3600, seconds / 60 % 60);
  return text;
}

std::string BatteryState(BYTE flag) {
  if (flag == BATTERY_FLAG_UNKNOWN) return "unknown";
  if (flag & BATTERY_FLAG_NO_BATTERY) return "no battery";
  std::string s;
  auto add = [&](const char* word) { s += (s.empty() ? "" : ", ") + std::string(word); };
  if (flag & BATTERY_FLAG_CHARGING) add("charging");
  if (flag & BATTERY_FLAG_CRITICAL) add("critical");
  if (flag & BATTERY_FLAG_LOW) add("low");
  if (flag & BATTERY_FLAG_HIGH) add("high");
  return s.empty() ? "normal" : s;
}

std::string Bytes(uint64_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(n) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

std::vector<SpecialFolder> SpecialFolders() {
  RapiHold hold("asking the phone for its folders");
  std::vector<SpecialFolder> out;
  for (const Known& k : kFolders)
    if (auto path = FolderPath(k.csidl)) out.push_back({k.name, k.csidl, *path});
  return out;
}

std::optional<std::string> MyDocumentsFolder() {
  RapiHold hold("asking the phone for My Documents");
  return FolderPath(CSIDL_PERSONAL);
}

std::string DevicePathOf(const std::string& cliPath) {
  std::string p = cliPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  if (p.empty() || p[0] != '\\') p = "\\" + p;
  while (p.size() > 1 && p.back() == '\\') p.pop_back();
  return p;
}

std::string CliPathOf(const std::string& devicePath) {
  std::string p = devicePath;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.empty() || p[0] != '/') p = "/" + p;
  return p;
}

FileFacts StatDevicePath(const std::string& devicePath) {
  RapiHold hold("asking the phone about a file");
  const std::u16string path = Utf16(devicePath);
  FileFacts f;
  f.attributes = CeGetFileAttributes(path.c_str());
  if (f.attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD err = CeGetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
      throw HostError(kExitFailure, "no such file or folder on the phone: " + devicePath);
    ThrowHr("asking the phone about " + devicePath, HRESULT_FROM_WIN32(err ? err : ERROR_GEN_FAILURE));
  }
  f.folder = f.attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (f.folder) return f;
  // Opened for neither reading nor writing: any other user of the file may go on.
  HANDLE h = CeCreateFile(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    ThrowHr("opening " + devicePath, HRESULT_FROM_WIN32(CeGetLastError()));
  DWORD high = 0;
  const DWORD low = CeGetFileSize(h, &high);
  const DWORD err = low == INVALID_FILE_SIZE ? CeGetLastError() : 0;
  CeCloseHandle(h);
  if (err) ThrowHr("asking the size of " + devicePath, HRESULT_FROM_WIN32(err));
  f.size = uint64_t(high) << 32 | low;
  return f;
}

std::string AttributeLetters(uint32_t a) {
  std::string s;
  s += (a & FILE_ATTRIBUTE_DIRECTORY) ? 'd' : '-';
  s += (a & FILE_ATTRIBUTE_READONLY) ? 'r' : '-';
  s += (a & FILE_ATTRIBUTE_HIDDEN) ? 'h' : '-';
  s += (a & FILE_ATTRIBUTE_SYSTEM) ? 's' : '-';
  s += (a & FILE_ATTRIBUTE_ARCHIVE) ? 'a' : '-';
  s += (a & FILE_ATTRIBUTE_INROM) ? 'R' : '-';
  s += (a & FILE_ATTRIBUTE_TEMPORARY) ? 'c' : '-';
  return s;
}

std::vector<std::pair<std::string, std::string>> PowerSystemStoreFacts() {
  RapiHold hold("asking the phone for its battery and memory");
  std::vector<std::pair<std::string, std::string>> out;
  SYSTEM_POWER_STATUS_EX p{};
  if (CeGetSystemPowerStatusEx(&p, TRUE)) {
    out.emplace_back("Power", p.ACLineStatus == AC_LINE_ONLINE    ? "mains"
                              : p.ACLineStatus == AC_LINE_OFFLINE ? "battery"
                              : p.ACLineStatus == AC_LINE_BACKUP_POWER ? "backup power"
                                                                   : "unknown");
    out.emplace_back("Battery", Percent(p.BatteryLifePercent) + " (" + BatteryState(p.BatteryFlag) + ")");
    if (p.BatteryLifeTime != BATTERY_LIFE_UNKNOWN)
      out.emplace_back("Battery time left", Duration(p.BatteryLifeTime));
    out.emplace_back("Backup battery",
                     Percent(p.BackupBatteryLifePercent) + " (" + BatteryState(p.BackupBatteryFlag) + ")");
  }
  SYSTEM_INFO si{};
  si.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
  CeGetSystemInfo(&si);
  if (si.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_UNKNOWN) {
    std::string cpu = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM ? "ARM" : "other";
    if (si.dwProcessorType == PROCESSOR_STRONGARM) cpu += " (StrongARM)";
    out.emplace_back("Processor", cpu + ", " + std::to_string(si.dwNumberOfProcessors) + " core" +
                                      (si.dwNumberOfProcessors == 1 ? "" : "s"));
    out.emplace_back("Page size", std::to_string(si.dwPageSize) + " bytes");
  }
  STORE_INFORMATION store{};
  if (CeGetStoreInformation(&store)) {
    out.emplace_back("Store size", Bytes(store.dwStoreSize));
    out.emplace_back("Store free", Bytes(store.dwFreeSize));
  }
  return out;
}

}  // namespace qwbhost
