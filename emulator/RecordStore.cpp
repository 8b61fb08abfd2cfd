#include "emulator/RecordStore.h"

#include <cstring>

#include "platform/util/LittleEndian.h"

namespace wmemu {

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
    auto st = image_.Prepare("SELECT props FROM records WHERE id = ? AND kind = ?");
    st->bind(1, int64_t(id)).bind(2, int64_t(kind_));
    if (!st->step()) return;
    out.emplace();
    const std::span<const uint8_t> props = st->blobView(0);
    size_t offset = 0;
    while (offset < props.size()) {
      devrec::EntryView view;
      if (devrec::ReadPropertyView(props.data(), props.size(), &offset, kind_, devrec::LookupNone,
                                   &view) != devrec::ReadError::kOk)
        throw ImageError("damaged record " + std::to_string(id) + " in image.sqlite");
      out->push_back(devrec::Property{std::string(view.name),
                                      std::vector<uint8_t>(view.value.begin(), view.value.end())});
    }
  });
  return out;
}

bool RecordStore::GetReply(uint32_t id, std::vector<uint8_t>* out) {
  bool found = false;
  image_.Read([&] {
    // One row: the properties are kept packed exactly as the reply carries them.
    auto st = image_.Prepare("SELECT props FROM records WHERE id = ? AND kind = ?");
    st->bind(1, int64_t(id)).bind(2, int64_t(kind_));
    if (!st->step()) return;
    found = true;
    const std::span<const uint8_t> props = st->blobView(0);
    out->resize(4 + props.size());
    le::Put32(out->data(), id);
    if (!props.empty()) std::memcpy(out->data() + 4, props.data(), props.size());
  });
  return found;
}

std::vector<uint8_t> RecordStore::Pack(const std::vector<devrec::RawEntry>& props) {
  std::vector<uint8_t> packed;
  // Each value kept as the reply sends it (a string to its first NUL, fixed sizes cut).
  for (const devrec::RawEntry& e : props) devrec::AppendProperty(&packed, e.name, e.type, e.value);
  return packed;
}

uint32_t RecordStore::Add(const std::vector<devrec::RawEntry>& props) {
  const std::vector<uint8_t> packed = Pack(props);
  uint32_t id = 0;
  image_.Transaction([&] {
    Stmt ins(image_.db(), "INSERT INTO records(kind, props) VALUES (?, ?)");
    ins.bind(1, int64_t(kind_)).bindBlob(2, packed.data(), packed.size());
    ins.step();
    id = static_cast<uint32_t>(sqlite3_last_insert_rowid(image_.db()));
  });
  return id;
}

bool RecordStore::Replace(uint32_t id, const std::vector<devrec::RawEntry>& props) {
  const std::vector<uint8_t> packed = Pack(props);
  bool found = false;
  image_.Transaction([&] {
    Stmt up(image_.db(), "UPDATE records SET props = ? WHERE id = ? AND kind = ?");
    up.bindBlob(1, packed.data(), packed.size()).bind(2, int64_t(id)).bind(3, int64_t(kind_));
    up.step();
    found = sqlite3_changes(image_.db()) > 0;
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
  });
  return found;
}

devrec::RawEntry RecordStore::Raw(uint32_t kind, const devrec::Property& p) {
  return devrec::RawEntry{p.name, devrec::LookupType(kind, p.name), p.value};
}

}  // namespace wmemu
