#include "emulator/DeviceRegistry.h"

#include "emulator/Text.h"

namespace wmemu {

namespace {

struct KeyRow {
  int64_t root;
  std::u16string path;
};

// Registry reads are kept prepared: the services look values up on every request they serve.
KeyRow LoadKey(Image& image, int64_t key) {
  auto prepared = image.Prepare("SELECT root, path FROM reg_keys WHERE id = ?");
  Stmt& st = *prepared;
  st.bind(1, key);
  if (!st.step()) throw ImageError("registry key vanished");
  return {st.i64(0), Utf16(st.text(1))};
}

std::optional<int64_t> FindKey(Image& image, int64_t root, const std::u16string& path) {
  auto prepared = image.Prepare("SELECT id FROM reg_keys WHERE root = ? AND fold = ?");
  Stmt& st = *prepared;
  st.bind(1, root).bind(2, FoldUtf8(path));
  if (!st.step()) return std::nullopt;
  return st.i64(0);
}

std::u16string Join(const std::u16string& base, const std::u16string& part) {
  return base.empty() ? part : base + u"\\" + part;
}

}  // namespace

int64_t DeviceRegistry::Root(uint32_t hkey) {
  std::optional<int64_t> id;
  image_.Read([&] { id = FindKey(image_, hkey, u""); });
  if (!id) throw ImageError("registry root missing");
  return *id;
}

std::optional<int64_t> DeviceRegistry::Open(int64_t key, std::u16string_view sub) {
  std::optional<int64_t> id;
  image_.Read([&] {
    KeyRow k = LoadKey(image_, key);
    std::u16string path = k.path;
    for (auto& p : SplitPath(sub, u"\\")) path = Join(path, p);
    id = FindKey(image_, k.root, path);
  });
  return id;
}

std::pair<int64_t, bool> DeviceRegistry::Create(int64_t key, std::u16string_view sub) {
  std::pair<int64_t, bool> result{key, false};
  image_.Transaction([&] {
    sqlite3* db = image_.db();
    KeyRow k = LoadKey(image_, key);
    std::u16string path = k.path;
    for (auto& p : SplitPath(sub, u"\\")) {
      path = Join(path, p);
      if (auto id = FindKey(image_, k.root, path)) {
        result = {*id, false};
        continue;
      }
      Stmt ins(db, "INSERT INTO reg_keys(root, path, fold) VALUES (?, ?, ?)");
      ins.bind(1, k.root).bind(2, Utf8(path)).bind(3, FoldUtf8(path));
      ins.step();
      result = {sqlite3_last_insert_rowid(db), true};
    }
  });
  return result;
}

std::optional<DeviceRegistry::Value> DeviceRegistry::Query(int64_t key, std::u16string_view name) {
  std::optional<Value> v;
  image_.Read([&] {
    auto prepared = image_.Prepare("SELECT type, data FROM reg_values WHERE key = ? AND fold = ?");
    Stmt& st = *prepared;
    st.bind(1, key).bind(2, FoldUtf8(name));
    if (st.step()) v = Value{static_cast<uint32_t>(st.i64(0)), st.blob(1)};
  });
  return v;
}

void DeviceRegistry::Set(int64_t key, std::u16string_view name, uint32_t type,
                         const std::vector<uint8_t>& data) {
  image_.Transaction([&] {
    // Replacing keeps the case of the first spelling of the name, as the device does.
    Stmt up(image_.db(), "UPDATE reg_values SET type = ?, data = ? WHERE key = ? AND fold = ?");
    up.bind(1, static_cast<int64_t>(type)).bindBlob(2, data.data(), data.size());
    up.bind(3, key).bind(4, FoldUtf8(name));
    up.step();
    if (sqlite3_changes(image_.db()) > 0) return;
    Stmt ins(image_.db(),
             "INSERT INTO reg_values(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)");
    ins.bind(1, key).bind(2, Utf8(name)).bind(3, FoldUtf8(name)).bind(4, int64_t(type));
    ins.bindBlob(5, data.data(), data.size());
    ins.step();
  });
}

bool DeviceRegistry::Exists(int64_t key) {
  bool found = false;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT 1 FROM reg_keys WHERE id = ?");
    st.bind(1, key);
    found = st.step();
  });
  return found;
}

std::vector<std::u16string> DeviceRegistry::SubKeys(int64_t key) {
  std::vector<std::u16string> out;
  image_.Read([&] {
    KeyRow k = LoadKey(image_, key);
    std::string prefix = k.path.empty() ? "" : FoldUtf8(k.path) + "\\";
    // Direct children only: the rest of the folded path holds no separator.
    Stmt st(image_.db(),
            "SELECT path FROM reg_keys WHERE root = ?1 AND fold != '' AND "
            "substr(fold, 1, length(?2)) = ?2 AND instr(substr(fold, length(?2) + 1), '\\') = 0 "
            "ORDER BY id");
    st.bind(1, k.root).bind(2, prefix);
    while (st.step()) {
      std::u16string path = Utf16(st.text(0));
      size_t slash = path.rfind(u'\\');
      out.push_back(slash == std::u16string::npos ? path : path.substr(slash + 1));
    }
  });
  return out;
}

std::vector<DeviceRegistry::NamedValue> DeviceRegistry::Values(int64_t key) {
  std::vector<NamedValue> out;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY rowid");
    st.bind(1, key);
    while (st.step())
      out.push_back({Utf16(st.text(0)), {static_cast<uint32_t>(st.i64(1)), st.blob(2)}});
  });
  return out;
}

uint32_t DeviceRegistry::DeleteKey(int64_t key, std::u16string_view sub) {
  auto target = Open(key, sub);
  if (!target) return 2;  // ERROR_FILE_NOT_FOUND
  uint32_t result = 0;
  image_.Transaction([&] {
    sqlite3* db = image_.db();
    KeyRow k = LoadKey(image_, *target);
    if (k.path.empty()) {
      result = 5;  // ERROR_ACCESS_DENIED: a root stays
      return;
    }
    std::string fold = FoldUtf8(k.path);
    const char* where = "root = ?1 AND (fold = ?2 OR substr(fold, 1, length(?2) + 1) = ?2 || '\\')";
    Stmt vals(db, (std::string("DELETE FROM reg_values WHERE key IN (SELECT id FROM reg_keys WHERE ") +
                   where + ")").c_str());
    vals.bind(1, k.root).bind(2, fold);
    vals.step();
    Stmt keys(db, (std::string("DELETE FROM reg_keys WHERE ") + where).c_str());
    keys.bind(1, k.root).bind(2, fold);
    keys.step();
  });
  return result;
}

uint32_t DeviceRegistry::DeleteValue(int64_t key, std::u16string_view name) {
  uint32_t result = 0;
  image_.Transaction([&] {
    Stmt del(image_.db(), "DELETE FROM reg_values WHERE key = ? AND fold = ?");
    del.bind(1, key).bind(2, FoldUtf8(name));
    del.step();
    if (sqlite3_changes(image_.db()) == 0) result = 2;  // ERROR_FILE_NOT_FOUND
  });
  return result;
}

std::vector<uint8_t> DeviceRegistry::StringData(std::u16string_view s) {
  std::vector<uint8_t> d;
  d.reserve(s.size() * 2 + 2);
  for (char16_t c : s) {
    d.push_back(uint8_t(c));
    d.push_back(uint8_t(c >> 8));
  }
  d.push_back(0);
  d.push_back(0);
  return d;
}

void DeviceRegistry::SetString(uint32_t root, std::u16string_view path, std::u16string_view name,
                               std::u16string_view value, uint32_t type) {
  Set(Create(Root(root), path).first, name, type, StringData(value));
}

void DeviceRegistry::SetDword(uint32_t root, std::u16string_view path, std::u16string_view name,
                              uint32_t v) {
  std::vector<uint8_t> d = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  Set(Create(Root(root), path).first, name, 4 /*REG_DWORD*/, d);
}

void DeviceRegistry::SetMultiString(uint32_t root, std::u16string_view path,
                                    std::u16string_view name,
                                    const std::vector<std::u16string>& values) {
  std::vector<uint8_t> d;
  for (auto& v : values) {
    auto s = StringData(v);
    d.insert(d.end(), s.begin(), s.end());
  }
  d.push_back(0);
  d.push_back(0);
  Set(Create(Root(root), path).first, name, 7 /*REG_MULTI_SZ*/, d);
}

void DeviceRegistry::SetBinary(uint32_t root, std::u16string_view path, std::u16string_view name,
                               const std::vector<uint8_t>& data) {
  Set(Create(Root(root), path).first, name, 3 /*REG_BINARY*/, data);
}

std::optional<std::u16string> DeviceRegistry::GetString(uint32_t root, std::u16string_view path,
                                                        std::u16string_view name) {
  auto key = Open(Root(root), path);
  if (!key) return std::nullopt;
  auto v = Query(*key, name);
  if (!v || (v->type != 1 && v->type != 2)) return std::nullopt;
  std::u16string s;
  for (size_t i = 0; i + 1 < v->data.size(); i += 2) {
    char16_t c = char16_t(v->data[i] | v->data[i + 1] << 8);
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

std::u16string DeviceRegistry::ModelName() {
  std::lock_guard<std::mutex> lock(modelMu_);
  const uint64_t generation = image_.generation();  // before the read: see Image::generation
  if (generation != modelGeneration_) {
    model_ = GetString(kHkeyLocalMachine, u"Ident", u"OrigName").value_or(u"");
    modelGeneration_ = generation;
  }
  return model_;
}

std::optional<uint32_t> DeviceRegistry::GetDword(uint32_t root, std::u16string_view path,
                                                 std::u16string_view name) {
  auto key = Open(Root(root), path);
  if (!key) return std::nullopt;
  auto v = Query(*key, name);
  if (!v || v->type != 4 || v->data.size() < 4) return std::nullopt;
  const auto& d = v->data;
  return uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
}

}  // namespace wmemu
