#include "emulator/RecordStore.h"

#include <cstring>

namespace wmemu {

std::vector<uint32_t> RecordStore::List() {
  std::vector<uint32_t> ids;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT id FROM records WHERE kind = ? ORDER BY id");
    st.bind(1, int64_t(kind_));
    while (st.step()) ids.push_back(static_cast<uint32_t>(st.i64(0)));
  });
  return ids;
}

std::optional<std::vector<devrec::Property>> RecordStore::Get(uint32_t id) {
  std::optional<std::vector<devrec::Property>> out;
  image_.Read([&] {
    Stmt has(image_.db(), "SELECT 1 FROM records WHERE id = ? AND kind = ?");
    has.bind(1, int64_t(id)).bind(2, int64_t(kind_));
    if (!has.step()) return;
    out.emplace();
    Stmt st(image_.db(), "SELECT name, type, value FROM record_props WHERE id = ? ORDER BY seq");
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
