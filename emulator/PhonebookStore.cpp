#include "emulator/PhonebookStore.h"

#include "emulator/Text.h"
#include "link/DeviceRecord.h"

namespace wmemu {

std::vector<pbpacket::Category> PhonebookStore::Categories() {
  std::vector<pbpacket::Category> out;
  image_.Read([&] {
    auto prepared = image_.Prepare("SELECT id, name FROM categories ORDER BY id");
    Stmt& st = *prepared;
    while (st.step()) out.push_back({static_cast<uint32_t>(st.i64(0)), st.text(1)});
  });
  return out;
}

std::optional<uint32_t> PhonebookStore::AddCategory(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::optional<uint32_t> id;
  image_.Transaction([&] {
    Stmt has(image_.db(), "SELECT id FROM categories WHERE name = ?");
    has.bind(1, name);
    if (has.step()) {
      id = static_cast<uint32_t>(has.i64(0));
      return;
    }
    Stmt ins(image_.db(), "INSERT INTO categories(name) VALUES (?)");
    ins.bind(1, name);
    ins.step();
    id = static_cast<uint32_t>(sqlite3_last_insert_rowid(image_.db()));
  });
  return id;
}

bool PhonebookStore::RenameCategory(uint32_t id, const std::string& name) {
  if (name.empty()) return false;
  bool done = false;
  image_.Transaction([&] {
    Stmt taken(image_.db(), "SELECT 1 FROM categories WHERE name = ? AND id <> ?");
    taken.bind(1, name).bind(2, int64_t(id));
    if (taken.step()) return;
    Stmt up(image_.db(), "UPDATE categories SET name = ? WHERE id = ?");
    up.bind(1, name).bind(2, int64_t(id));
    up.step();
    done = sqlite3_changes(image_.db()) > 0;
  });
  return done;
}

bool PhonebookStore::DeleteCategory(uint32_t id) {
  bool done = false;
  image_.Transaction([&] {
    Stmt del(image_.db(), "DELETE FROM categories WHERE id = ?");
    del.bind(1, int64_t(id));
    del.step();
    done = sqlite3_changes(image_.db()) > 0;
  });
  return done;
}

std::vector<pbpacket::SpeedDialEntry> PhonebookStore::SpeedDials() {
  std::vector<pbpacket::SpeedDialEntry> out;
  image_.Read([&] {
    auto prepared = image_.Prepare(
        "SELECT number, entry_id, property_id, name, telephone FROM speed_dials ORDER BY number");
    Stmt& st = *prepared;
    while (st.step()) {
      out.push_back({static_cast<uint32_t>(st.i64(0)), static_cast<uint32_t>(st.i64(1)),
                     static_cast<uint32_t>(st.i64(2)), Utf16(st.text(3)), Utf16(st.text(4))});
    }
  });
  return out;
}

bool PhonebookStore::ContactExists(uint32_t entryId) {
  Stmt has(image_.db(), "SELECT 1 FROM records WHERE id = ? AND kind = ?");
  has.bind(1, int64_t(entryId)).bind(2, int64_t(devrec::kKindContact));
  return has.step();
}

void PhonebookStore::InsertSpeedDial(const pbpacket::SpeedDialEntry& e, bool replace) {
  Stmt ins(image_.db(), replace ? "INSERT OR REPLACE INTO speed_dials VALUES (?, ?, ?, ?, ?)"
                                : "INSERT INTO speed_dials VALUES (?, ?, ?, ?, ?)");
  ins.bind(1, int64_t(e.number)).bind(2, int64_t(e.entryId)).bind(3, int64_t(e.propertyId));
  ins.bind(4, Utf8(e.name)).bind(5, Utf8(e.telephone));
  ins.step();
}

bool PhonebookStore::AddSpeedDial(const pbpacket::SpeedDialEntry& e) {
  bool done = false;
  image_.Transaction([&] {
    if (!ContactExists(e.entryId)) return;
    Stmt taken(image_.db(), "SELECT 1 FROM speed_dials WHERE number = ?");
    taken.bind(1, int64_t(e.number));
    if (taken.step()) return;
    InsertSpeedDial(e, false);
    done = true;
  });
  return done;
}

bool PhonebookStore::PutSpeedDial(const pbpacket::SpeedDialEntry& e) {
  bool done = false;
  image_.Transaction([&] {
    if (!ContactExists(e.entryId)) return;
    InsertSpeedDial(e, true);
    done = true;
  });
  return done;
}

void PhonebookStore::ClearSpeedDials(uint32_t entryId) {
  image_.Transaction([&] {
    Stmt del(image_.db(), "DELETE FROM speed_dials WHERE entry_id = ?");
    del.bind(1, int64_t(entryId));
    del.step();
  });
}

bool PhonebookStore::DeleteContact(uint32_t entryId) {
  bool found = false;
  image_.Transaction([&] {
    Stmt del(image_.db(), "DELETE FROM records WHERE id = ? AND kind = ?");
    del.bind(1, int64_t(entryId)).bind(2, int64_t(devrec::kKindContact));
    del.step();
    found = sqlite3_changes(image_.db()) > 0;
    if (!found) return;
    Stmt dials(image_.db(), "DELETE FROM speed_dials WHERE entry_id = ?");
    dials.bind(1, int64_t(entryId));
    dials.step();
  });
  return found;
}

}  // namespace wmemu
