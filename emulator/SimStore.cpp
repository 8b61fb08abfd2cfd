#include "emulator/SimStore.h"

#include <algorithm>
#include <set>

#include "emulator/ServiceRegistry.h"
#include "emulator/RecordService.h"
#include "emulator/Text.h"
#include "platform/util/LittleEndian.h"
#include "link/MessageRecords.h"
#include "link/ServiceFormats.h"

namespace wmemu {
namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr uint32_t kKind = devrec::kKindSimContact;

void EnsureSchema(Image& image) {
  image.EnsureSchema("sim_contacts", [&] {
    image.Transaction([&] {
      image.Exec(R"(
      CREATE TABLE IF NOT EXISTS sim_contacts(position INTEGER PRIMARY KEY, name TEXT NOT NULL,
                                              second_name TEXT NOT NULL, number TEXT NOT NULL,
                                              additional TEXT NOT NULL, email TEXT NOT NULL);
    )");
    });
  });
}

// Additional numbers rest joined by newlines (a number holds none).
std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) s += (i ? "\n" : "") + v[i];
  return s;
}
std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> v;
  size_t start = 0;
  while (start < s.size()) {
    size_t nl = s.find('\n', start);
    if (nl == std::string::npos) nl = s.size();
    v.push_back(s.substr(start, nl - start));
    start = nl + 1;
  }
  return v;
}

size_t Units(const std::string& utf8) { return Utf16(utf8).size(); }

SimContact FromRecord(const std::vector<devrec::RawEntry>& props, uint32_t position) {
  SimContact c;
  c.position = position;
  int32_t additionalCount = -1, emailCount = -1;
  std::string additional[6], emails[6];
  for (const auto& e : props) {
    int32_t v;
    if (e.name == "Name") c.name = devrec::ValueAsString(e);
    if (e.name == "SecondName") c.secondName = devrec::ValueAsString(e);
    if (e.name == "TelNumber") c.number = devrec::ValueAsString(e);
    if (e.name == "AdditionalNumCount" && devrec::ValueAsInteger(e, &v)) additionalCount = v;
    if (e.name == "EmailCount" && devrec::ValueAsInteger(e, &v)) emailCount = v;
    for (int i = 0; i < 6; ++i) {
      if (e.name == "AdditionalNum" + std::to_string(i)) additional[i] = devrec::ValueAsString(e);
      if (e.name == "Email" + std::to_string(i)) emails[i] = devrec::ValueAsString(e);
    }
  }
  // Without a count the numbers present are taken as they come.
  int n = additionalCount < 0 ? 6 : std::min(additionalCount, 6);
  for (int i = 0; i < n; ++i)
    if (!additional[i].empty()) c.additional.push_back(additional[i]);
  int m = emailCount < 0 ? 6 : std::min(emailCount, 6);
  for (int i = 0; i < m; ++i)
    if (!emails[i].empty()) {
      if (!c.email.empty()) c.email += "\n";  // more than the card keeps: refused by Check
      c.email += emails[i];
    }
  return c;
}

std::vector<devrec::Property> ToRecord(const SimContact& c) {
  std::vector<devrec::Property> p;
  p.push_back(devrec::Property::String("Name", c.name));
  if (!c.secondName.empty()) p.push_back(devrec::Property::String("SecondName", c.secondName));
  p.push_back(devrec::Property::String("TelNumber", c.number));
  p.push_back(devrec::Property::Integer("AdditionalNumCount", int32_t(c.additional.size())));
  for (size_t i = 0; i < c.additional.size(); ++i)
    p.push_back(devrec::Property::String("AdditionalNum" + std::to_string(i), c.additional[i]));
  p.push_back(devrec::Property::Integer("EmailCount", c.email.empty() ? 0 : 1));
  if (!c.email.empty()) p.push_back(devrec::Property::String("Email0", c.email));
  return p;
}

uint32_t U32(const std::vector<uint8_t>& in, size_t at) { return le::Get32(in.data() + at); }

int32_t Info(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != kKind) return kInvalidArg;
  SimStore store(ctx.image());
  SimLimits l = store.limits();
  devrec::SimCapacities caps;
  // nUsed, nTotal, address and text lengths, index range, (none), ANR length, e-mail length,
  // group tag length, ANR tag length, ANR count, e-mail count, group tags, ANR tags, hidden,
  // UID, group ids.
  caps.words = {uint32_t(store.List().size()), l.capacity, l.maxNumber, l.maxName, 1, l.capacity,
                0, l.maxNumber, l.maxEmail, 0, 0, l.additionalNumbers, l.emails, 0, 0, 0, 1, 0};
  std::vector<devrec::Property> props = devrec::SimCapacityProperties(caps);
  props.push_back(devrec::Property::Integer("MaxSNELength", int32_t(l.maxName)));
  *out = devrec::EncodeReply(kKind, props);
  return 0;
}

int32_t List(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != kKind) return kInvalidArg;
  std::vector<uint32_t> ids;
  for (const SimContact& c : SimStore(ctx.image()).List()) ids.push_back(c.position);
  *out = devrec::EncodeIdList(ids);
  return 0;
}

int32_t ListAll(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != kKind) return kInvalidArg;
  std::vector<std::array<uint8_t, devrec::kSimRecordSize>> records;
  for (const SimContact& c : SimStore(ctx.image()).List()) {
    devrec::SimRecord r{c.position, Utf16(c.name), Utf16(c.number),
                        Utf16(c.additional.empty() ? "" : c.additional[0]), Utf16(c.email)};
    std::array<uint8_t, devrec::kSimRecordSize> bytes;
    if (devrec::WriteSimRecord(r, &bytes)) records.push_back(bytes);
  }
  *out = devrec::EncodeSimRecordList(records);
  return 0;
}

int32_t Get(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 8 || U32(in, 0) != kKind) return kInvalidArg;
  auto c = SimStore(ctx.image()).Get(U32(in, 4));
  if (!c) return kHrNotFound;
  *out = devrec::EncodeReply(c->position, ToRecord(*c));
  return 0;
}

int32_t Write(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out,
              bool replace) {
  devrec::Request req;
  if (devrec::ReadRequest(in.data(), in.size(), devrec::kModeReplace, &req) !=
          devrec::ReadError::kOk ||
      req.kind != kKind)
    return kInvalidArg;
  SimStore store(ctx.image());
  SimContact c = FromRecord(req.properties, req.entryId);
  if (int32_t refusal = store.Check(c)) return refusal;
  uint32_t position = req.entryId;
  if (replace) {
    if (!store.Replace(c)) return kHrNotFound;
  } else {
    position = store.Add(c, req.entryId);
    if (position == 0) return kHrSimFull;
  }
  out->clear();
  le::Append32(out, position);
  return 0;
}

int32_t Delete(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>*) {
  if (in.size() < 8 || U32(in, 0) != kKind) return kInvalidArg;
  return SimStore(ctx.image()).Delete(U32(in, 4)) ? 0 : kHrNotFound;
}

}  // namespace

SimStore::SimStore(Image& image) : image_(image) { EnsureSchema(image_); }

SimLimits SimStore::limits() {
  SimLimits l;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT value FROM meta WHERE key = 'sim_capacity'");
    if (st.step()) l.capacity = uint32_t(st.i64(0));
  });
  return l;
}

void SimStore::SetCapacity(uint32_t capacity) {
  image_.Transaction([&] {
    Stmt st(image_.db(), "INSERT OR REPLACE INTO meta(key, value) VALUES ('sim_capacity', ?)");
    st.bind(1, int64_t(capacity));
    st.step();
  });
}

std::vector<SimContact> SimStore::List() {
  std::vector<SimContact> out;
  image_.Read([&] {
    Stmt st(image_.db(),
            "SELECT position, name, second_name, number, additional, email FROM sim_contacts "
            "ORDER BY position");
    while (st.step())
      out.push_back({uint32_t(st.i64(0)), st.text(1), st.text(2), st.text(3), Split(st.text(4)),
                     st.text(5)});
  });
  return out;
}

std::optional<SimContact> SimStore::Get(uint32_t position) {
  for (SimContact& c : List())
    if (c.position == position) return c;
  return std::nullopt;
}

int32_t SimStore::Check(const SimContact& c) {
  SimLimits l = limits();
  if (c.name.empty() && c.number.empty()) return kHrSimTooLong;
  if (Units(c.name) > l.maxName || Units(c.secondName) > l.maxName ||
      Units(c.number) > l.maxNumber || Units(c.email) > l.maxEmail ||
      c.email.find('\n') != std::string::npos || c.additional.size() > l.additionalNumbers)
    return kHrSimTooLong;
  for (const std::string& n : c.additional)
    if (Units(n) > l.maxNumber) return kHrSimTooLong;
  return 0;
}

uint32_t SimStore::Add(SimContact c, uint32_t wanted) {
  uint32_t position = 0;
  const uint32_t capacity = limits().capacity;
  image_.Transaction([&] {
    std::set<uint32_t> used;
    Stmt st(image_.db(), "SELECT position FROM sim_contacts");
    while (st.step()) used.insert(uint32_t(st.i64(0)));
    if (wanted >= 1 && wanted <= capacity && !used.count(wanted)) {
      position = wanted;
    } else {
      for (uint32_t p = 1; p <= capacity; ++p)
        if (!used.count(p)) {
          position = p;
          break;
        }
    }
    if (position == 0) return;
    Stmt ins(image_.db(),
             "INSERT INTO sim_contacts(position, name, second_name, number, additional, email) "
             "VALUES (?, ?, ?, ?, ?, ?)");
    ins.bind(1, int64_t(position)).bind(2, c.name).bind(3, c.secondName).bind(4, c.number);
    ins.bind(5, Join(c.additional)).bind(6, c.email);
    ins.step();
  });
  return position;
}

bool SimStore::Replace(const SimContact& c) {
  bool found = false;
  image_.Transaction([&] {
    Stmt st(image_.db(),
            "UPDATE sim_contacts SET name = ?, second_name = ?, number = ?, additional = ?, "
            "email = ? WHERE position = ?");
    st.bind(1, c.name).bind(2, c.secondName).bind(3, c.number).bind(4, Join(c.additional));
    st.bind(5, c.email).bind(6, int64_t(c.position));
    st.step();
    found = sqlite3_changes(image_.db()) > 0;
  });
  return found;
}

bool SimStore::Delete(uint32_t position) {
  bool found = false;
  image_.Transaction([&] {
    Stmt st(image_.db(), "DELETE FROM sim_contacts WHERE position = ?");
    st.bind(1, int64_t(position));
    st.step();
    found = sqlite3_changes(image_.db()) > 0;
  });
  return found;
}

void RegisterSimStore(ServiceRegistry& services) {
  services.AddBlock("DevCePhonebookSIMInfo", Info);
  services.AddBlock("DevCePhonebookSIMList", List);
  services.AddBlock("DevCePhonebookSIMListAll", ListAll);
  services.AddBlock("DevCePhonebookSIMGet", Get);
  services.AddBlock("DevCePhonebookSIMAdd",
                    [](ServiceContext& c, const std::vector<uint8_t>& in,
                       std::vector<uint8_t>* out) { return Write(c, in, out, false); });
  services.AddBlock("DevCePhonebookSIMReplace",
                    [](ServiceContext& c, const std::vector<uint8_t>& in,
                       std::vector<uint8_t>* out) { return Write(c, in, out, true); });
  services.AddBlock("DevCePhonebookSIMDelete", Delete);
}

}  // namespace wmemu
