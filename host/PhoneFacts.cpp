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

nlohmann::json PowerSystemStoreJson() {
  RapiHold hold("asking the phone for its battery and memory");
  nlohmann::json out = {{"power", nullptr}, {"system", nullptr}, {"store", nullptr}};
  SYSTEM_POWER_STATUS_EX p{};
  if (CeGetSystemPowerStatusEx(&p, TRUE)) {
    auto percent = [](BYTE v) {
      return v == BATTERY_PERCENTAGE_UNKNOWN ? nlohmann::json() : nlohmann::json(v);
    };
    auto seconds = [](DWORD v) {
      return v == BATTERY_LIFE_UNKNOWN ? nlohmann::json() : nlohmann::json(v);
    };
    out["power"] = {
        {"acLine", p.ACLineStatus == AC_LINE_ONLINE          ? "online"
                   : p.ACLineStatus == AC_LINE_OFFLINE       ? "offline"
                   : p.ACLineStatus == AC_LINE_BACKUP_POWER  ? "backup"
                                                             : "unknown"},
        {"batteryFlag", p.BatteryFlag},
        {"battery", BatteryState(p.BatteryFlag)},
        {"batteryPercent", percent(p.BatteryLifePercent)},
        {"batteryLifeSeconds", seconds(p.BatteryLifeTime)},
        {"batteryFullLifeSeconds", seconds(p.BatteryFullLifeTime)},
        {"backupBattery", BatteryState(p.BackupBatteryFlag)},
        {"backupBatteryPercent", percent(p.BackupBatteryLifePercent)}};
  }
  SYSTEM_INFO si{};
  si.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
  CeGetSystemInfo(&si);
  if (si.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_UNKNOWN) {
    out["system"] = {{"architecture", si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM
                                          ? "ARM"
                                          : std::to_string(si.wProcessorArchitecture)},
                     {"processorType", si.dwProcessorType},
                     {"processors", si.dwNumberOfProcessors},
                     {"pageSize", si.dwPageSize},
                     {"allocationGranularity", si.dwAllocationGranularity}};
  }
  STORE_INFORMATION store{};
  if (CeGetStoreInformation(&store))
    out["store"] = {{"size", store.dwStoreSize}, {"free", store.dwFreeSize}};
  return out;
}

std::vector<std::pair<std::string, std::string>> PowerSystemStoreLines(const nlohmann::json& j) {
  std::vector<std::pair<std::string, std::string>> out;
  if (const nlohmann::json& p = j["power"]; p.is_object()) {
    const std::string ac = p["acLine"];
    out.emplace_back("power:", ac == "online" ? "mains" : ac == "offline" ? "battery" : ac);
    std::string battery =
        p["batteryPercent"].is_null() ? "unknown" : std::to_string(int(p["batteryPercent"])) + " %";
    battery += " (" + p["battery"].get<std::string>() + ")";
    if (!p["batteryLifeSeconds"].is_null())
      battery += ", " + Duration(p["batteryLifeSeconds"].get<DWORD>()) + " left";
    out.emplace_back("battery:", battery);
    out.emplace_back("backup battery:", (p["backupBatteryPercent"].is_null()
                                             ? std::string("unknown")
                                             : std::to_string(int(p["backupBatteryPercent"])) + " %") +
                                            " (" + p["backupBattery"].get<std::string>() + ")");
  }
  if (const nlohmann::json& s = j["system"]; s.is_object()) {
    std::string cpu = s["architecture"].get<std::string>();
    if (s["processorType"] == PROCESSOR_STRONGARM) cpu += " (StrongARM)";
    out.emplace_back("processor:", cpu + ", page size " + std::to_string(int(s["pageSize"])) + " bytes");
  }
  if (const nlohmann::json& st = j["store"]; st.is_object())
    out.emplace_back("object store:", Bytes(st["size"]) + ", " + Bytes(st["free"]) + " free");
  return out;
}

}  // namespace qwbhost
