// The registry store: keys and values kept in a .reg text file. The file is reread when it
// changed on disk (another process may have registered a server) and every write replaces
// it atomically (a temporary file in the same folder, fsync, rename).
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/RegistryStore.h"
#include "platform/win/WinInternal.h"
#include "wincompat/winreg.h"

using wincompat::detail::Narrow;
using wincompat::detail::Widen;

namespace {

char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  return static_cast<char16_t>(std::towupper(static_cast<wint_t>(c)));
}

struct NoCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const char16_t x = Fold(a[i]), y = Fold(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

struct Value {
  std::u16string name;  // as written; "" is the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::u16string name;  // as created
  std::map<std::u16string, std::unique_ptr<Key>, NoCaseLess> children;
  std::map<std::u16string, Value, NoCaseLess> values;
};

constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                      "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
constexpr const char* kRootShort[] = {"HKCR", "HKCU", "HKLM", "HKU"};
constexpr int kRoots = 4;

int RootIndex(HKEY h) {
  if (h == HKEY_CLASSES_ROOT) return 0;
  if (h == HKEY_CURRENT_USER) return 1;
  if (h == HKEY_LOCAL_MACHINE) return 2;
  if (h == HKEY_USERS) return 3;
  return -1;
}

struct RegHandle {
  static constexpr uint32_t kMagic = 0x52454748;
  uint32_t magic = kMagic;
  int root = 0;
  std::vector<std::u16string> path;
};

std::vector<std::u16string> SplitPath(const char16_t* sub) {
  std::vector<std::u16string> parts;
  if (!sub) return parts;
  std::u16string cur;
  for (const char16_t* p = sub; *p; ++p) {
    if (*p == u'\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(*p);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// ---- text form ------------------------------------------------------------------

std::string Escape(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '\\' || c == '"') r.push_back('\\');
    r.push_back(c);
  }
  return r;
}

// A REG_SZ that reads back identically as a quoted string: one terminating NUL, no NUL,
// CR or LF inside, valid UTF-16.
bool AsPlainString(const Value& v, std::string* out) {
  if (v.type != REG_SZ || v.data.size() < 2 || v.data.size() % 2) return false;
  std::u16string w(v.data.size() / 2, u'\0');
  std::memcpy(w.data(), v.data.data(), v.data.size());
  if (w.back() != 0) return false;
  w.pop_back();
  for (char16_t c : w)
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  return wincompat::detail::Utf16ToUtf8(w, out, true);
}

std::string ValueLine(const Value& v) {
  std::string line;
  if (v.name.empty()) {
    line = "@";
  } else {
    line.push_back('"');
    line.append(Escape(Narrow(v.name)));
    line.push_back('"');
  }
  line.push_back('=');
  std::string text;
  if (AsPlainString(v, &text)) {
    line.push_back('"');
    line.append(Escape(text));
    line.push_back('"');
    return line;
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    uint32_t d;
    std::memcpy(&d, v.data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof(buf), "dword:%08x", d);
    return line + buf;
  }
  char buf[16];
  if (v.type == REG_BINARY)
    line += "hex:";
  else {
    std::snprintf(buf, sizeof(buf), "hex(%x):", static_cast<unsigned>(v.type));
    line += buf;
  }
  for (size_t i = 0; i < v.data.size(); ++i) {
    std::snprintf(buf, sizeof(buf), i ? ",%02x" : "%02x", v.data[i]);
    line += buf;
  }
  return line;
}

void WriteKey(const Key& k, const std::string& path, std::string* out) {
  *out += "[" + path + "]\n";
  for (const auto& [n, v] : k.values) *out += ValueLine(v) + "\n";
  *out += "\n";
  for (const auto& [n, c] : k.children) WriteKey(*c, path + "\\" + Narrow(c->name), out);
}

bool ParseQuoted(const std::string& s, size_t* i, std::string* out) {
  if (*i >= s.size() || s[*i] != '"') return false;
  ++*i;
  out->clear();
  while (*i < s.size()) {
    const char c = s[(*i)++];
    if (c == '"') return true;
    if (c == '\\' && *i < s.size()) {
      out->push_back(s[(*i)++]);
    } else {
      out->push_back(c);
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& s, std::vector<BYTE>* out) {
  out->clear();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || s[i] == ' ' || s[i] == '\t' || s[i] == '\\')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1])))
      return false;
    out->push_back(static_cast<BYTE>(std::stoi(s.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return true;
}

// ---- the store ----------------------------------------------------------------------

class Store {
 public:
  std::mutex mu;
  Key roots[kRoots];

  // Rereads the file when it is not the one loaded or when it changed on disk.
  void Refresh() {
    const std::string p = wincompat::detail::RegistryPath();
    struct stat st {};
    const bool exists = ::stat(p.c_str(), &st) == 0;
    const FileId id = exists ? FileId{true,       st.st_dev,         st.st_ino,
                                      st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec}
                             : FileId{};
    if (loaded_ && p == path_ && id == id_) return;
    path_ = p;
    id_ = id;
    loaded_ = true;
    for (Key& r : roots) r = Key{};
    if (exists) Load(p);
  }

  // Writes the whole store; false when the file could not be replaced (the next access
  // rereads the file so that memory does not drift from it).
  bool Save() {
    if (!WriteAtomically(path_, Text())) {
      loaded_ = false;
      return false;
    }
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0)
      id_ = FileId{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
  }

  // The store as a registry file's text.
  std::string Text() const {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (int r = 0; r < kRoots; ++r) {
      const Key& root = roots[r];
      if (!root.values.empty()) {
        text += "[" + std::string(kRootNames[r]) + "]\n";
        for (const auto& [n, v] : root.values) text += ValueLine(v) + "\n";
        text += "\n";
      }
      for (const auto& [n, c] : root.children)
        WriteKey(*c, std::string(kRootNames[r]) + "\\" + Narrow(c->name), &text);
    }
    return text;
  }

  // Reads a registry file's text into the (empty) store: the reader of Text().
  void LoadText(std::string data) {
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    LoadLines(data);
  }

 private:
  struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t sec = 0;
    long nsec = 0;
    bool operator==(const FileId&) const = default;
  };

  static bool WriteAtomically(const std::string& path, const std::string& text) {
    std::error_code ec;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    size_t off = 0;
    bool ok = true;
    while (off < text.size()) {
      const ssize_t n = ::write(fd, text.data() + off, text.size() - off);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      off += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
      ::unlink(tmp.c_str());
      return false;
    }
    return true;
  }

  void Load(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    LoadText(std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>()));
  }

  void LoadLines(const std::string& data) {
    std::vector<std::string> lines;
    size_t b = 0;
    while (b <= data.size()) {
      size_t e = data.find('\n', b);
      if (e == std::string::npos) e = data.size();
      std::string line = data.substr(b, e - b);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      b = e + 1;
    }
    Key* cur = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string line = lines[i];
      size_t s = line.find_first_not_of(" \t");
      if (s == std::string::npos || line[s] == ';') continue;
      line = line.substr(s);
      if (line[0] == '[') {
        const size_t close = line.rfind(']');
        if (close == std::string::npos) {
          cur = nullptr;
          continue;
        }
        std::string path = line.substr(1, close - 1);
        const bool remove = !path.empty() && path[0] == '-';
        if (remove) path.erase(0, 1);
        cur = SectionKey(path, remove);
        continue;
      }
      if (!cur) continue;
      Value v;
      size_t pos = 0;
      if (line[0] == '@') {
        pos = 1;
      } else {
        std::string name;
        if (!ParseQuoted(line, &pos, &name)) continue;
        v.name = Widen(name);
      }
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
      if (pos >= line.size() || line[pos] != '=') continue;
      ++pos;
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
      std::string rest = line.substr(pos);
      if (rest == "-") {
        cur->values.erase(v.name);
        continue;
      }
      if (!rest.empty() && rest[0] == '"') {
        std::string text;
        size_t q = 0;
        if (!ParseQuoted(rest, &q, &text)) continue;
        const std::u16string w = Widen(text);
        v.type = REG_SZ;
        v.data.resize((w.size() + 1) * 2);
        std::memcpy(v.data.data(), w.c_str(), v.data.size());
      } else if (rest.compare(0, 6, "dword:") == 0) {
        const uint32_t d = static_cast<uint32_t>(std::strtoul(rest.c_str() + 6, nullptr, 16));
        v.type = REG_DWORD;
        v.data.resize(4);
        std::memcpy(v.data.data(), &d, 4);
      } else if (rest.compare(0, 3, "hex") == 0) {
        // Long hex values continue on the following lines after a trailing backslash.
        while (!rest.empty() && rest.back() == '\\' && i + 1 < lines.size()) {
          rest.pop_back();
          rest += lines[++i];
        }
        size_t colon = rest.find(':');
        if (colon == std::string::npos) continue;
        v.type = REG_BINARY;
        if (rest.compare(0, 4, "hex(") == 0)
          v.type = static_cast<DWORD>(std::strtoul(rest.c_str() + 4, nullptr, 16));
        if (!ParseHexBytes(rest.substr(colon + 1), &v.data)) continue;
      } else {
        continue;
      }
      cur->values[v.name] = std::move(v);
    }
  }

  Key* SectionKey(const std::string& path, bool remove) {
    const std::vector<std::u16string> parts = SplitPath(Widen(path).c_str());
    if (parts.empty()) return nullptr;
    int root = -1;
    const std::string first = Narrow(parts[0]);
    for (int r = 0; r < kRoots; ++r)
      if (strcasecmp(first.c_str(), kRootNames[r]) == 0 ||
          strcasecmp(first.c_str(), kRootShort[r]) == 0)
        root = r;
    if (root < 0) return nullptr;
    Key* k = &roots[root];
    for (size_t i = 1; i < parts.size(); ++i) {
      auto it = k->children.find(parts[i]);
      if (it == k->children.end()) {
        if (remove) return nullptr;
        auto child = std::make_unique<Key>();
        child->name = parts[i];
        it = k->children.emplace(parts[i], std::move(child)).first;
      }
      if (remove && i + 1 == parts.size()) {
        k->children.erase(it);
        return nullptr;
      }
      k = it->second.get();
    }
    return remove ? nullptr : k;
  }

  std::string path_;
  FileId id_;
  bool loaded_ = false;
};

// Writers in several processes take turns: each rereads the file, changes it and replaces it
// while holding an exclusive lock on the file's folder, so that no update is lost.
class WriterLock {
 public:
  WriterLock() {
    const std::filesystem::path dir =
        std::filesystem::path(wincompat::detail::RegistryPath()).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    fd_ = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~WriterLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  int fd_ = -1;
};

Store& TheStore() {
  static Store* s = new Store;  // never destroyed: handles may outlive static destruction
  return *s;
}

// Resolves a handle to the root and the path of its key.
bool Resolve(HKEY h, int* root, std::vector<std::u16string>* path) {
  const int r = RootIndex(h);
  if (r >= 0) {
    *root = r;
    path->clear();
    return true;
  }
  auto* rh = reinterpret_cast<RegHandle*>(h);
  if (!rh || rh->magic != RegHandle::kMagic) return false;
  *root = rh->root;
  *path = rh->path;
  return true;
}

Key* Find(Store& s, int root, const std::vector<std::u16string>& path) {
  Key* k = &s.roots[root];
  for (const auto& p : path) {
    auto it = k->children.find(p);
    if (it == k->children.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

HKEY NewHandle(int root, std::vector<std::u16string> path) {
  auto* h = new RegHandle;
  h->root = root;
  h->path = std::move(path);
  return reinterpret_cast<HKEY>(h);
}

// The key named by hKey and lpSubKey, or null; sets *err.
Key* Open(Store& s, HKEY hKey, LPCWSTR sub, int* root, std::vector<std::u16string>* path,
          LONG* err) {
  if (!Resolve(hKey, root, path)) {
    *err = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!Find(s, *root, *path)) {
    *err = ERROR_KEY_DELETED;
    return nullptr;
  }
  for (auto& p : SplitPath(sub)) path->push_back(std::move(p));
  Key* k = Find(s, *root, *path);
  *err = k ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  return k;
}

LONG CopyData(const Value& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpType) *lpType = v.type;
  const DWORD size = static_cast<DWORD>(v.data.size());
  if (!lpcbData) return lpData ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (!lpData) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(lpData, v.data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG CopyName(const std::u16string& name, LPWSTR out, LPDWORD cch) {
  if (!out || !cch) return ERROR_INVALID_PARAMETER;
  if (*cch <= name.size()) {
    *cch = static_cast<DWORD>(name.size() + 1);
    return ERROR_MORE_DATA;
  }
  std::memcpy(out, name.data(), name.size() * sizeof(WCHAR));
  out[name.size()] = 0;
  *cch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

namespace wincompat::detail {

std::string RegistryPath() {
  if (const char* p = std::getenv("QWBDCAWM_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    return std::string(x) + "/qwbdcawm/registry.reg";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = ::getpwuid(::getuid());
    home = pw ? pw->pw_dir : "/tmp";
  }
  return std::string(home) + "/.config/qwbdcawm/registry.reg";
}

std::string RegistryTextOf(const std::string& fileText) {
  Store store;
  store.LoadText(fileText);
  return store.Text();
}

bool RegistryReadString(HKEY root, const std::u16string& subKey, const std::u16string& name,
                        std::u16string* out) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, cb = 0;
  LONG err = RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &cb);
  std::vector<BYTE> buf(cb + 2);
  if (err == ERROR_SUCCESS)
    err = RegQueryValueExW(k, name.c_str(), nullptr, &type, buf.data(), &cb);
  RegCloseKey(k);
  if (err != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  std::u16string s(cb / 2, u'\0');
  std::memcpy(s.data(), buf.data(), s.size() * 2);
  while (!s.empty() && s.back() == 0) s.pop_back();
  *out = s;
  return true;
}

}  // namespace wincompat::detail

namespace {

// Where a handle and a subkey below it lead.
struct Located {
  Key* key = nullptr;
  int root = 0;
  std::vector<std::u16string> path;
};

// Runs `body(store, located)` on the key an open handle and a subkey name, under the store's
// lock and, for a writer, the lock other processes take too; the store is reread first.
template <class Body>
LONG OnKey(HKEY hKey, LPCWSTR subKey, bool write, Body&& body) {
  Store& s = TheStore();
  std::lock_guard lock(s.mu);
  std::optional<WriterLock> writer;  // other processes write the same file
  if (write) writer.emplace();
  s.Refresh();
  Located at;
  LONG err;
  at.key = Open(s, hKey, subKey, &at.root, &at.path, &err);
  if (!at.key) return err;
  return body(s, at);
}

// The same with `body(store, key)` on the key the handle itself names.
template <class Body>
LONG OnKey(HKEY hKey, bool write, Body&& body) {
  return OnKey(hKey, nullptr, write, [&](Store& s, Located& at) { return body(s, at.key); });
}

}  // namespace

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Store& s = TheStore();
  std::lock_guard lock(s.mu);
  s.Refresh();
  int root;
  std::vector<std::u16string> path;
  LONG err;
  if (!Open(s, hKey, lpSubKey, &root, &path, &err)) return err;
  *phkResult = NewHandle(root, std::move(path));
  return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Store& s = TheStore();
  std::lock_guard lock(s.mu);
  WriterLock writer;  // other processes write the same file
  s.Refresh();
  int root;
  std::vector<std::u16string> path;
  if (!Resolve(hKey, &root, &path)) return ERROR_INVALID_HANDLE;
  Key* k = Find(s, root, path);
  if (!k) return ERROR_KEY_DELETED;
  bool created = false;
  for (auto& part : SplitPath(lpSubKey)) {
    auto it = k->children.find(part);
    if (it == k->children.end()) {
      auto child = std::make_unique<Key>();
      child->name = part;
      it = k->children.emplace(part, std::move(child)).first;
      created = true;
    }
    k = it->second.get();
    path.push_back(std::move(part));
  }
  if (created && !s.Save()) return ERROR_ACCESS_DENIED;
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewHandle(root, std::move(path));
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;
  auto* rh = reinterpret_cast<RegHandle*>(hKey);
  if (!rh || rh->magic != RegHandle::kMagic) return ERROR_INVALID_HANDLE;
  rh->magic = 0;
  delete rh;
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  return OnKey(hKey, false, [&](Store&, Key* k) -> LONG {
    auto it = k->values.find(lpValueName ? std::u16string(lpValueName) : std::u16string());
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    return CopyData(it->second, lpType, lpData, lpcbData);
  });
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
  return OnKey(hKey, true, [&](Store& s, Key* k) -> LONG {
    Value v;
    v.name = lpValueName ? lpValueName : u"";
    v.type = dwType;
    v.data.assign(lpData, lpData + cbData);
    k->values[v.name] = std::move(v);
    return s.Save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  });
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return OnKey(hKey, true, [&](Store& s, Key* k) -> LONG {
    if (k->values.erase(lpValueName ? std::u16string(lpValueName) : std::u16string()) == 0)
      return ERROR_FILE_NOT_FOUND;
    return s.Save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  });
}

namespace {

LONG DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
  return OnKey(hKey, lpSubKey, true, [&](Store& s, Located& at) -> LONG {
    Key* k = at.key;
    if (tree && (!lpSubKey || !*lpSubKey)) {
      // The key itself stays; its subkeys and values go.
      k->children.clear();
      k->values.clear();
      return s.Save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    if (at.path.empty()) return ERROR_ACCESS_DENIED;  // a root key
    if (!tree && !k->children.empty()) return ERROR_ACCESS_DENIED;
    const std::u16string last = at.path.back();
    at.path.pop_back();
    Find(s, at.root, at.path)->children.erase(last);
    return s.Save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  });
}

}  // namespace

LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return DeleteKey(hKey, lpSubKey, false);
}

LONG WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                          LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return OnKey(hKey, false, [&](Store&, Key* k) -> LONG {
    if (dwIndex >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    auto it = std::next(k->children.begin(), dwIndex);
    const LONG r = CopyName(it->second->name, lpName, lpcchName);
    if (r != ERROR_SUCCESS) return r;
    if (lpClass && lpcchClass && *lpcchClass) *lpClass = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return OnKey(hKey, false, [&](Store&, Key* k) -> LONG {
    if (dwIndex >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = std::next(k->values.begin(), dwIndex)->second;
    const LONG r = CopyName(v.name, lpValueName, lpcchValueName);
    if (r != ERROR_SUCCESS) return r;
    return CopyData(v, lpType, lpData, lpcbData);
  });
}
