#include "emulator/DeviceSystem.h"

#include <pugixml.hpp>

#include <charconv>
#include <cstdio>
#include <sstream>

#include "emulator/Text.h"

namespace wmemu {

namespace {

constexpr uint32_t kErrFileNotFound = 2, kErrPathNotFound = 3, kErrNotSupported = 50,
                   kErrInvalidParameter = 87;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kUnknownTime = 0xFFFFFFFFu;

int32_t HresultOf(uint32_t code) { return static_cast<int32_t>(0x80070000u | (code & 0xFFFF)); }

// Windows Mobile's folders; the desktop folder does not exist on a phone.
const char16_t* DefaultFolder(uint32_t csidl) {
  switch (csidl) {
    case kCsidlPrograms:
      return u"\\Windows\\Start Menu\\Programs";
    case kCsidlPersonal:
      return u"\\My Documents";
    case kCsidlFavoritesGryphon:
    case kCsidlFavorites:
      return u"\\Windows\\Favorites";
    case kCsidlStartup:
      return u"\\Windows\\StartUp";
    case kCsidlRecent:
      return u"\\Windows\\Recent";
    case kCsidlStartMenu:
      return u"\\Windows\\Start Menu";
    case kCsidlFonts:
      return u"\\Windows\\Fonts";
    default:
      return nullptr;
  }
}

// The shell's registry names of the folders it lets the image move.
const char16_t* ShellFolderValue(uint32_t csidl) {
  switch (csidl) {
    case kCsidlPersonal:
      return u"Personal";
    case kCsidlPrograms:
      return u"Programs";
    case kCsidlStartup:
      return u"StartUp";
    case kCsidlRecent:
      return u"Recent";
    case kCsidlStartMenu:
      return u"Start Menu";
    case kCsidlFonts:
      return u"Fonts";
    case kCsidlFavorites:
    case kCsidlFavoritesGryphon:
      return u"Favorites";
    default:
      return nullptr;
  }
}

std::string PowerText(const rapi2::PowerStatus& s) {
  std::ostringstream o;
  o << int(s.acLineStatus) << ',' << int(s.batteryFlag) << ',' << int(s.batteryLifePercent) << ','
    << s.batteryLifeTime << ',' << s.batteryFullLifeTime << ',' << int(s.backupBatteryFlag) << ','
    << int(s.backupBatteryLifePercent) << ',' << s.backupBatteryLifeTime << ','
    << s.backupBatteryFullLifeTime;
  return o.str();
}

std::optional<rapi2::PowerStatus> ParsePower(const std::string& text) {
  uint64_t v[9];
  const char* p = text.data();
  const char* end = p + text.size();
  for (int i = 0; i < 9; ++i) {
    auto r = std::from_chars(p, end, v[i]);
    if (r.ec != std::errc()) return std::nullopt;
    p = r.ptr;
    if (i < 8) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
  }
  rapi2::PowerStatus s;
  s.acLineStatus = uint8_t(v[0]);
  s.batteryFlag = uint8_t(v[1]);
  s.batteryLifePercent = uint8_t(v[2]);
  s.batteryLifeTime = uint32_t(v[3]);
  s.batteryFullLifeTime = uint32_t(v[4]);
  s.backupBatteryFlag = uint8_t(v[5]);
  s.backupBatteryLifePercent = uint8_t(v[6]);
  s.backupBatteryLifeTime = uint32_t(v[7]);
  s.backupBatteryFullLifeTime = uint32_t(v[8]);
  return s;
}

rapi2::PowerStatus Battery(uint8_t ac, uint8_t flag, uint8_t percent, uint32_t life,
                           uint32_t full) {
  rapi2::PowerStatus s;
  s.acLineStatus = ac;
  s.batteryFlag = flag;
  s.batteryLifePercent = percent;
  s.batteryLifeTime = life;
  s.batteryFullLifeTime = full;
  s.backupBatteryFlag = 0x01;
  s.backupBatteryLifePercent = 100;
  s.backupBatteryLifeTime = kUnknownTime;
  s.backupBatteryFullLifeTime = kUnknownTime;
  return s;
}

int64_t HostNow() { return static_cast<int64_t>(DeviceFs::Now()); }

std::string Base64(const std::vector<uint8_t>& d) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < d.size(); i += 3) {
    uint32_t n = uint32_t(d[i]) << 16 | (i + 1 < d.size() ? uint32_t(d[i + 1]) << 8 : 0) |
                 (i + 2 < d.size() ? d[i + 2] : 0);
    out += k[n >> 18 & 63];
    out += k[n >> 12 & 63];
    out += i + 1 < d.size() ? k[n >> 6 & 63] : '=';
    out += i + 2 < d.size() ? k[n & 63] : '=';
  }
  return out;
}

std::u16string Units(const std::vector<uint8_t>& d) {
  std::u16string s;
  for (size_t i = 0; i + 1 < d.size(); i += 2) s.push_back(char16_t(d[i] | d[i + 1] << 8));
  return s;
}

// A registry value as the registry provider writes it into a parm element.
void PutParm(pugi::xml_node parent, const std::u16string& name, const DeviceRegistry::Value& v) {
  pugi::xml_node parm = parent.append_child("parm");
  parm.append_attribute("name") = Utf8(name).c_str();
  std::string value, type;
  switch (v.type) {
    case 4:  // REG_DWORD
      if (v.data.size() == 4)
        value = std::to_string(uint32_t(v.data[0]) | uint32_t(v.data[1]) << 8 |
                               uint32_t(v.data[2]) << 16 | uint32_t(v.data[3]) << 24);
      type = "integer";
      break;
    case 1:  // REG_SZ
    case 2: {  // REG_EXPAND_SZ
      std::u16string s = Units(v.data);
      if (auto nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
      value = Utf8(s);
      type = v.type == 1 ? "string" : "expandstring";
      break;
    }
    case 7: {  // REG_MULTI_SZ: the strings separated by U+F000
      std::u16string s = Units(v.data);
      while (!s.empty() && s.back() == 0) s.pop_back();
      for (char16_t& c : s)
        if (c == 0) c = 0xF000;
      value = Utf8(s);
      type = "multiplestring";
      break;
    }
    default:
      value = Base64(v.data);
      type = "binary";
  }
  parm.append_attribute("value") = value.c_str();
  parm.append_attribute("datatype") = type.c_str();
}

// Splits "HKLM\Path" into the root and the path.
std::optional<std::pair<uint32_t, std::u16string>> RegistryPath(const std::u16string& type) {
  static const std::pair<const char16_t*, uint32_t> kRoots[] = {
      {u"HKLM", kHkeyLocalMachine},       {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
      {u"HKCU", kHkeyCurrentUser},        {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
      {u"HKCR", kHkeyClassesRoot},        {u"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
      {u"HKU", kHkeyUsers},               {u"HKEY_USERS", kHkeyUsers}};
  size_t slash = type.find(u'\\');
  std::u16string root = type.substr(0, slash);
  for (auto& [name, hkey] : kRoots)
    if (EqualNoCase(root, name))
      return std::make_pair(hkey, slash == std::u16string::npos ? u"" : type.substr(slash + 1));
  return std::nullopt;
}

}  // namespace

rapi2::SystemInfo DeviceSystem::SystemInfo() {
  rapi2::SystemInfo s;
  s.processorArchitecture = 5;  // ARM
  s.pageSize = 4096;
  s.minimumApplicationAddress = 0x10000;
  s.maximumApplicationAddress = 0x7FFFFFFF;
  s.activeProcessorMask = 1;
  s.numberOfProcessors = 1;
  s.processorType = 2577;  // StrongARM
  s.allocationGranularity = 0x10000;
  s.processorLevel = 4;
  s.processorRevision = 0;
  return s;
}

rapi2::PowerStatus DeviceSystem::Power() {
  if (auto text = image_.Meta("power"))
    if (auto s = ParsePower(*text)) return *s;
  return Battery(1, 0x01, 100, kUnknownTime, kUnknownTime);
}

void DeviceSystem::SetPower(const rapi2::PowerStatus& s) { image_.SetMeta("power", PowerText(s)); }

bool DeviceSystem::SetPowerState(std::string_view state) {
  if (state == "cradled")
    SetPower(Battery(1, 0x01, 100, kUnknownTime, kUnknownTime));
  else if (state == "charging")
    SetPower(Battery(1, 0x08, 64, kUnknownTime, kUnknownTime));
  else if (state == "battery")
    SetPower(Battery(0, 0x01, 72, 5 * 3600, 8 * 3600));
  else if (state == "low")
    SetPower(Battery(0, 0x02, 12, 40 * 60, 8 * 3600));
  else if (state == "critical")
    SetPower(Battery(0, 0x04, 3, 6 * 60, 8 * 3600));
  else
    return false;
  return true;
}

uint32_t DeviceSystem::SpecialFolder(uint32_t csidl, std::u16string* path) {
  const char16_t* def = DefaultFolder(csidl);
  if (!def) return kErrInvalidParameter;
  std::u16string p = def;
  if (const char16_t* value = ShellFolderValue(csidl)) {
    auto moved = registry_.GetString(kHkeyLocalMachine, u"System\\Explorer\\Shell Folders", value);
    if (moved && !moved->empty()) p = *moved;
  }
  while (p.size() > 1 && p.back() == u'\\') p.pop_back();
  uint32_t attrs = 0;
  if (uint32_t err = fs_.Attributes(p, &attrs)) return err == kErrFileNotFound ? kErrPathNotFound : err;
  if (!(attrs & kDirectory)) return kErrPathNotFound;
  *path = p;
  return 0;
}

uint64_t DeviceSystem::Now() {
  int64_t offset = 0;
  if (auto text = image_.Meta("clock.offset")) std::from_chars(text->data(), text->data() + text->size(), offset);
  return static_cast<uint64_t>(HostNow() + offset);
}

void DeviceSystem::SetClock(uint64_t filetime) {
  image_.SetMeta("clock.offset", std::to_string(static_cast<int64_t>(filetime) - HostNow()));
}

uint32_t DeviceSystem::StartProcess(std::u16string_view application,
                                    std::u16string_view commandLine, ProcessStart* started) {
  std::u16string path(application);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  if (path.empty()) return kErrInvalidParameter;
  if (path.find(u'\\') == std::u16string::npos) path = u"\\Windows\\" + path;
  uint32_t attrs = 0;
  uint32_t err = fs_.Attributes(path, &attrs);
  // A name without an extension is a program too: "wceload" runs \Windows\wceload.exe.
  const size_t base = path.rfind(u'\\') + 1;
  if (err == kErrFileNotFound && path.find(u'.', base) == std::u16string::npos) {
    path += u".exe";
    err = fs_.Attributes(path, &attrs);
  }
  if (err) return err;
  if (attrs & kDirectory) return kErrFileNotFound;
  bool builtIn = false;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT 1 FROM programs WHERE fold = ?");
    st.bind(1, FoldUtf8(path));
    builtIn = st.step();
  });
  // Any other file is a program this phone cannot start: as if it were missing.
  if (!builtIn) return kErrFileNotFound;
  image_.Transaction([&] {
    Stmt ins(image_.db(), "INSERT INTO process_log(program, command_line, time) VALUES (?, ?, ?)");
    ins.bind(1, Utf8(path)).bind(2, Utf8(commandLine)).bind(3, HostNow());
    ins.step();
    started->id = sqlite3_last_insert_rowid(image_.db());
  });
  started->program = path;
  started->commandLine = std::u16string(commandLine);
  return 0;
}

std::vector<ProcessStart> DeviceSystem::ProcessStarts() {
  std::vector<ProcessStart> out;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT id, program, command_line FROM process_log ORDER BY id");
    while (st.step()) out.push_back({st.i64(0), Utf16(st.text(1)), Utf16(st.text(2))});
  });
  return out;
}

void DeviceSystem::AddBuiltInProgram(std::u16string_view path) {
  image_.Transaction([&] {
    Stmt st(image_.db(), "INSERT OR IGNORE INTO programs(fold) VALUES (?)");
    st.bind(1, FoldUtf8(path));
    st.step();
  });
}

uint32_t DeviceSystem::ProcessConfig(std::u16string_view xml, uint32_t, std::u16string* reply,
                                     int32_t* hr) {
  auto refuse = [&](uint32_t code) {
    *hr = HresultOf(code);
    return code;
  };
  pugi::xml_document doc;
  std::string text = Utf8(xml);
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
    return refuse(kErrInvalidParameter);
  pugi::xml_node root = doc.document_element();
  if (std::string_view(root.name()) != "wap-provisioningdoc") return refuse(kErrInvalidParameter);
  bool any = false;
  for (pugi::xml_node provider : root.children()) {
    if (provider.type() != pugi::node_element) continue;
    if (std::string_view(provider.name()) != "characteristic")
      return refuse(kErrInvalidParameter);
    if (std::string_view(provider.attribute("type").value()) != "Registry")
      return refuse(kErrNotSupported);
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node n : provider.children())
      if (n.type() == pugi::node_element) items.push_back(n);
    for (pugi::xml_node item : items) {
      std::string_view kind = item.name();
      auto where = RegistryPath(Utf16(item.attribute("type").value()));
      if (!where) return refuse(kErrInvalidParameter);
      auto key = registry_.Open(registry_.Root(where->first), where->second);
      if (kind == "characteristic-query") {
        // The whole key: every value, in the registry's order.
        if (!key) return refuse(kErrFileNotFound);
        pugi::xml_node answer = provider.insert_child_before("characteristic", item);
        answer.append_attribute("type") = item.attribute("type").value();
        for (auto& v : registry_.Values(*key)) PutParm(answer, v.name, v.value);
        provider.remove_child(item);
        any = true;
      } else if (kind == "characteristic") {
        // Named values: every child must be a parm-query.
        std::vector<pugi::xml_node> queries;
        for (pugi::xml_node q : item.children()) {
          if (q.type() != pugi::node_element) continue;
          if (std::string_view(q.name()) != "parm-query") return refuse(kErrNotSupported);
          queries.push_back(q);
        }
        if (queries.empty()) return refuse(kErrNotSupported);  // a change, not a query
        if (!key) return refuse(kErrFileNotFound);
        for (pugi::xml_node q : queries) {
          std::u16string name = Utf16(q.attribute("name").value());
          auto v = registry_.Query(*key, name);
          if (!v) return refuse(kErrFileNotFound);
          pugi::xml_node tmp = item.append_child("tmp");
          PutParm(tmp, name, *v);
          item.insert_copy_before(tmp.first_child(), q);
          item.remove_child(tmp);
          item.remove_child(q);
        }
        any = true;
      } else {
        return refuse(kErrNotSupported);  // removals and unknown elements
      }
    }
  }
  if (!any) return refuse(kErrInvalidParameter);
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  *reply = Utf16(out.str());
  *hr = 0;
  return 0;
}

}  // namespace wmemu
