#include "emulator/RecordStore.h"

#include <cstring>

#include "platform/util/LittleEndian.h"

namespace wmemu {

namespace {
constexpr const char* kHasSql = "SELECT 1 FROM records WHERE id = ? AND kind = ?";
constexpr const char* kPropsSql =
    "SELECT name, type, value FROM record_props WHERE id = ? ORDER BY seq";
}  // namespace

std::vector<uint32_t> RecordStore::List() {
  std::vector<uint32_t> ids;
  image_.Read([&] {
    auto st = image_.Prepare("SELECT id FROM records WHERE kind = ? ORDER BY id");
    st->bind(1, int64_t(kind_));
    while (st->step()) ids.push_back(static_cast<uint32_t>(st->i64(0)));
  });
  return ids;
}

std::optional<std::vector<devrec::Property>> RecordStore::Get(uint32_t id) {
  std::optional<std::vector<devrec::Property>> out;
  image_.Read([&] {
    auto has = image_.Prepare(kHasSql);
    has->bind(1, int64_t(id)).bind(2, int64_t(kind_));
    if (!has->step()) return;
    out.emplace();
    auto props = image_.Prepare(kPropsSql);
    Stmt& st = *props;
    st.bind(1, int64_t(id));
    while (st.step()) {
      std::string name = st.text(0);
      switch (st.i64(1)) {
        case devrec::kTypeString:
          out->push_back(devrec::Property::String(name, st.text(2)));
          break;
        case devrec::kTypeDate:
          out->push_back(devrec::Property::Date(name, st.real(2)));
          break;
        case devrec::kTypeInteger:
          out->push_back(devrec::Property::Integer(name, static_cast<int32_t>(st.i64(2))));
          break;
        case devrec::kTypeBoolean:
          out->push_back(devrec::Property::Boolean(name, static_cast<uint16_t>(st.i64(2))));
          break;
        default:
          out->push_back(devrec::Property::Binary(name, st.blob(2)));
      }
    }
  });
  return out;
}

bool RecordStore::GetReply(uint32_t id, std::vector<uint8_t>* out) {
  bool found = false;
  image_.Read([&] {
    // One statement (one read of the database): the entry joined with its properties, a
    // single row of nulls when it has none, no row when there is no such entry.
    auto props = image_.Prepare(
        "SELECT p.name, p.type, p.value FROM records r LEFT JOIN record_props p ON p.id = r.id "
        "WHERE r.id = ? AND r.kind = ? ORDER BY p.seq");
    Stmt& st = *props;
    st.bind(1, int64_t(id)).bind(2, int64_t(kind_));
    while (st.step()) {
      if (!found) {
        found = true;
        out->resize(4);
        le::Put32(out->data(), id);
      }
      if (st.type(0) == SQLITE_NULL) break;  // an entry without properties
      const std::string_view name = st.textView(0);
      uint8_t fixed[8];
      const uint8_t* value = fixed;
      size_t length = 0;
      switch (st.i64(1)) {
        case devrec::kTypeString: {
          const std::string_view text = st.textView(2);
          value = reinterpret_cast<const uint8_t*>(text.data());
          length = text.size() + 1;  // the NUL that follows the column's bytes
          break;
        }
        case devrec::kTypeDate:
          le::PutDouble(fixed, st.real(2));
          length = 8;
          break;
        case devrec::kTypeInteger:
          le::Put32(fixed, static_cast<uint32_t>(static_cast<int32_t>(st.i64(2))));
          length = 4;
          break;
        case devrec::kTypeBoolean:
          le::Put16(fixed, static_cast<uint16_t>(st.i64(2)));
          length = 2;
          break;
        default: {
          const std::span<const uint8_t> bytes = st.blobView(2);
          value = bytes.data();
          length = bytes.size();
        }
      }
      const size_t at = out->size();
      const auto nameLength = static_cast<uint32_t>(name.size() + 1);
      out->resize(at + devrec::PropertyWireSize(nameLength, static_cast<uint32_t>(length)));
      devrec::WriteProperty(out->data() + at, name.data(), nameLength, value,
                            static_cast<uint32_t>(length));
    }
  });
  return found;
}

void RecordStore::PutProps(uint32_t id, const std::vector<devrec::RawEntry>& props) {
  Stmt ins(image_.db(),
           "INSERT INTO record_props(id, seq, name, type, value) VALUES (?, ?, ?, ?, ?)");
  int64_t seq = 0;
  for (const devrec::RawEntry& e : props) {
    ins.reset();
    ins.bind(1, int64_t(id)).bind(2, seq++).bind(3, e.name).bind(4, int64_t(e.type));
    double d;
    int32_t i;
    uint16_t b;
    if (e.type == devrec::kTypeString) {
      ins.bind(5, devrec::ValueAsString(e));
    } else if (e.type == devrec::kTypeDate && devrec::ValueAsDate(e, &d)) {
      ins.bind(5, d);
    } else if (e.type == devrec::kTypeInteger && devrec::ValueAsInteger(e, &i)) {
      ins.bind(5, int64_t(i));
    } else if (e.type == devrec::kTypeBoolean && devrec::ValueAsBoolean(e, &b)) {
      ins.bind(5, int64_t(b));
    } else {
      ins.bindBlob(5, e.value.data(), e.value.size());
    }
    ins.step();
  }
}

uint32_t RecordStore::Add(const std::vector<devrec::RawEntry>& props) {
  uint32_t id = 0;
  image_.Transaction([&] {
    Stmt ins(image_.db(), "INSERT INTO records(kind) VALUES (?)");
    ins.bind(1, int64_t(kind_));
    ins.step();
    id = static_cast<uint32_t>(sqlite3_last_insert_rowid(image_.db()));
    PutProps(id, props);
  });
  return id;
}

bool RecordStore::Replace(uint32_t id, const std::vector<devrec::RawEntry>& props) {
  bool found = false;
  image_.Transaction([&] {
    Stmt has(image_.db(), "SELECT 1 FROM records WHERE id = ? AND kind = ?");
    has.bind(1, int64_t(id)).bind(2, int64_t(kind_));
    if (!has.step()) return;
    found = true;
    Stmt del(image_.db(), "DELETE FROM record_props WHERE id = ?");
    del.bind(1, int64_t(id));
    del.step();
    PutProps(id, props);
  });
  return found;
}

bool RecordStore::Delete(uint32_t id) {
  bool found = false;
  image_.Transaction([&] {
    Stmt del(image_.db(), "DELETE FROM records WHERE id = ? AND kind = ?");
    del.bind(1, int64_t(id)).bind(2, int64_t(kind_));
    del.step();
    found = sqlite3_changes(image_.db()) > 0;
    if (!found) return;
    Stmt props(image_.db(), "DELETE FROM record_props WHERE id = ?");
    props.bind(1, int64_t(id));
    props.step();
  });
  return found;
}

devrec::RawEntry RecordStore::Raw(uint32_t kind, const devrec::Property& p) {
  return devrec::RawEntry{p.name, devrec::LookupType(kind, p.name), p.value};
}

}  // namespace wmemu
