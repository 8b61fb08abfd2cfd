#include "emulator/MessageStore.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "emulator/ServiceRegistry.h"
#include "emulator/RecordService.h"
#include "emulator/Text.h"
#include "platform/util/LittleEndian.h"
#include "link/MessageRecords.h"
#include "link/ServiceFormats.h"

namespace wmemu {

const std::array<uint8_t, 16> kStoreEntryPrefix = {0x00, 0x00, 0x00, 0x00, 0x8A, 0x3C, 0x51, 0x17,
                                                   0x4E, 0x20, 0xD3, 0x11, 0x9A, 0x4D, 0x00, 0x01};

namespace {

constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kNotImpl = static_cast<int32_t>(0x80004001u);

void EnsureSchema(Image& image) {
  image.EnsureSchema("messages", [&] {
    image.Transaction([&] {
      image.Exec(R"(
      CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY AUTOINCREMENT,
                                          kind INTEGER NOT NULL, folder INTEGER NOT NULL,
                                          state INTEGER NOT NULL, props BLOB NOT NULL);
      CREATE INDEX IF NOT EXISTS messages_by_folder ON messages(kind, folder, id);
      CREATE TABLE IF NOT EXISTS sim_messages(slot INTEGER PRIMARY KEY, number TEXT NOT NULL,
                                              text TEXT NOT NULL, received REAL NOT NULL);
    )");
    });
  });
}

// The properties travel and rest in the device record's own form (a reply body).
std::vector<uint8_t> PackProps(uint32_t kind, const std::vector<devrec::RawEntry>& props) {
  std::vector<devrec::Property> out;
  for (const auto& e : props) out.push_back({e.name, e.value});
  (void)kind;
  return devrec::EncodeReply(0, out);
}
std::vector<devrec::RawEntry> UnpackProps(uint32_t kind, const std::vector<uint8_t>& blob) {
  std::vector<devrec::RawEntry> props;
  devrec::ReadReply(blob.data(), blob.size(), kind, &props);
  return props;
}

const devrec::RawEntry* Find(const std::vector<devrec::RawEntry>& props, const char* name) {
  for (const auto& e : props)
    if (e.name == name) return &e;
  return nullptr;
}
std::string StringOf(const std::vector<devrec::RawEntry>& props, const char* name) {
  const devrec::RawEntry* e = Find(props, name);
  return e ? devrec::ValueAsString(*e) : std::string();
}
double DateOf(const std::vector<devrec::RawEntry>& props, const char* name) {
  const devrec::RawEntry* e = Find(props, name);
  double d = 0;
  if (e) devrec::ValueAsDate(*e, &d);
  return d;
}
void SetDate(std::vector<devrec::RawEntry>* props, uint32_t kind, const char* name, double d) {
  devrec::Property p = devrec::Property::Date(name, d);
  for (auto& e : *props)
    if (e.name == name) {
      e.value = p.value;
      return;
    }
  props->push_back({name, devrec::LookupType(kind, name), p.value});
}

double NowOleUtc() {
  using namespace std::chrono;
  double secs = duration<double>(system_clock::now().time_since_epoch()).count();
  return 25569.0 + std::floor(secs) / 86400.0;
}

// The calendar fields of an OLE date (dates after 1899 only; earlier ones read as 0).
devrec::RecordTime RecordTimeOf(double ole) {
  devrec::RecordTime t;
  if (!(ole >= 0) || ole > 2958465) return t;
  using namespace std::chrono;
  double whole = std::floor(ole);
  int64_t ms = std::llround((ole - whole) * 86400000.0);
  sys_days day = sys_days(year(1899) / 12 / 30) + days(static_cast<int64_t>(whole));
  if (ms >= 86400000) {
    day += days(1);
    ms -= 86400000;
  }
  year_month_day ymd(day);
  t.year = uint16_t(int(ymd.year()));
  t.month = uint16_t(unsigned(ymd.month()));
  t.day = uint16_t(unsigned(ymd.day()));
  t.dayOfWeek = uint16_t(weekday(day).c_encoding());
  t.hour = uint16_t(ms / 3600000);
  t.minute = uint16_t(ms / 60000 % 60);
  t.second = uint16_t(ms / 1000 % 60);
  t.milliseconds = uint16_t(ms % 1000);
  return t;
}

// The record the stream family's list sends for a message; false when it does not fit.
bool StreamRecordOf(const StoredMessage& m, std::array<uint8_t, devrec::kStreamMessageSize>* r) {
  double local = DateOf(m.props, "PR_MESSAGE_DELIVERY_TIME") + kPhoneLocalOffsetDays;
  devrec::StreamMessage s;
  s.time = RecordTimeOf(local);
  const std::string sender = StringOf(m.props, "PR_SENDER_EMAIL_ADDRESS");
  const std::string recipient = StringOf(m.props, "PR_EMAIL_ADDRESS");
  const bool outgoing = m.folder != devrec::kFolderInbox;
  s.number = Utf16(outgoing ? recipient : sender);
  s.receiver = Utf16(recipient);
  s.text = Utf16(StringOf(m.props, "PR_SUBJECT"));
  s.identifier = StreamIdentifier(m.id, local);
  s.state = m.state;
  return devrec::WriteStreamMessage(s, r);
}

uint32_t U32(const std::vector<uint8_t>& in, size_t at) { return le::Get32(in.data() + at); }

bool IsMessageKind(uint32_t kind) {
  return kind == devrec::kKindMessage || kind == devrec::kKindMmsMessage;
}
bool IsStreamFamily(int type) { return type == 0 || type == 3; }
bool IsIdFamily(int type) { return type == 4 || type == 5; }

int32_t ListBlock(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 8 || !IsMessageKind(U32(in, 0))) return kInvalidArg;
  const int type = ctx.modelType();
  if (IsStreamFamily(type)) return kNotImpl;
  const uint32_t kind = U32(in, 0), folder = U32(in, 4);
  std::vector<uint32_t> ids;
  for (const StoredMessage& m : MessageStore(ctx.image()).List(kind, folder))
    if (m.state != kStateHidden) ids.push_back(m.id);
  // Multimedia messages are listed by entry ID on every family.
  if (IsIdFamily(type) && kind == devrec::kKindMessage) {
    *out = devrec::EncodeMessageIdList(kind, folder, ids);
  } else {
    std::vector<devrec::EntryId> entries;
    for (uint32_t id : ids) entries.push_back(devrec::MakeEntryId(kStoreEntryPrefix, id));
    *out = devrec::EncodeEntryIdList(kind, folder, entries);
  }
  return 0;
}

void ListStream(ServiceContext& ctx, ServiceStream& s) {
  uint8_t req[8];
  if (!s.Read(req, sizeof req)) return;
  const uint32_t kind = le::Get32(req), folder = le::Get32(req + 4);
  std::vector<std::array<uint8_t, devrec::kStreamMessageSize>> records;
  if (IsStreamFamily(ctx.modelType()) && kind == devrec::kKindMessage) {
    for (const StoredMessage& m : MessageStore(ctx.image()).List(kind, folder)) {
      std::array<uint8_t, devrec::kStreamMessageSize> r;
      if (StreamRecordOf(m, &r)) records.push_back(r);
    }
  }
  std::vector<uint8_t> bytes = devrec::EncodeStreamMessageList(records);
  s.WriteReply("DevCeMessageList", bytes.data(), bytes.size());
}

int32_t GetMessage(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  uint32_t kind = 0, folder = 0, id = 0;
  if (IsIdFamily(ctx.modelType()) && in.size() >= 4 && le::Get32(in.data()) == devrec::kKindMessage) {
    if (in.size() < 8) return kInvalidArg;
    kind = U32(in, 0);
    id = U32(in, 4);
  } else {
    devrec::EntryId entry;
    if (!devrec::ReadGetByEntryId(in.data(), in.size(), &kind, &folder, &entry)) return kInvalidArg;
    if (entry.length != devrec::kEntryIdSize ||
        !std::equal(kStoreEntryPrefix.begin(), kStoreEntryPrefix.end(), entry.bytes.begin()))
      return kHrNotFound;
    id = entry.Suid();
  }
  if (!IsMessageKind(kind)) return kInvalidArg;
  return MessageStore(ctx.image()).GetReply(id, kind, out) ? 0 : kHrNotFound;
}

int32_t Store(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out,
              bool send) {
  // kind, folder, count, properties: the replace form's header with the folder as its id.
  devrec::Request req;
  if (devrec::ReadRequest(in.data(), in.size(), devrec::kModeReplace, &req) !=
          devrec::ReadError::kOk ||
      !IsMessageKind(req.kind) || req.entryId < devrec::kFolderInbox ||
      req.entryId > devrec::kFolderSent)
    return kInvalidArg;
  const size_t maxText = IsStreamFamily(ctx.modelType()) ? kStreamPhoneMaxText : kPhoneMaxText;
  if (req.kind == devrec::kKindMessage &&
      Utf16(StringOf(req.properties, "PR_SUBJECT")).size() > maxText)
    return kHrTextTooLong;
  // A multimedia message above the phone's MMS size limit is refused like a text too long.
  if (const devrec::RawEntry* body = Find(req.properties, "PR_MMS_BODY");
      body && body->value.size() > kMmsMaxSize)
    return kHrTextTooLong;
  uint32_t folder = req.entryId;
  double now = NowOleUtc();
  if (send) {
    if (StringOf(req.properties, "PR_EMAIL_ADDRESS").empty()) return kHrNoRecipient;
    folder = devrec::kFolderSent;
    SetDate(&req.properties, req.kind, "PR_MESSAGE_DELIVERY_TIME", now);
    SetDate(&req.properties, req.kind, "PR_LAST_MODIFICATION_TIME", now);
  } else if (DateOf(req.properties, "PR_MESSAGE_DELIVERY_TIME") <= 0) {
    // An undated message is stamped with the time it was saved.
    SetDate(&req.properties, req.kind, "PR_MESSAGE_DELIVERY_TIME", now);
    SetDate(&req.properties, req.kind, "PR_LAST_MODIFICATION_TIME", now);
  }
  uint32_t id = MessageStore(ctx.image()).Add(req.kind, folder, kStateRead, req.properties);
  out->clear();
  le::Append32(out, id);
  return 0;
}

int32_t SimInfo(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 4 || U32(in, 0) != devrec::kKindSimMessage) return kInvalidArg;
  uint32_t used = MessageStore(ctx.image()).SimUsed();
  *out = devrec::EncodeReply(devrec::kKindSimMessage,
                             {devrec::Property::Integer("nUsed", int32_t(used)),
                              devrec::Property::Integer("nTotal", int32_t(kSimMessageSlots))});
  return 0;
}

int32_t SimGet(ServiceContext& ctx, const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  if (in.size() < 8 || U32(in, 0) != devrec::kKindSimMessage) return kInvalidArg;
  uint32_t slot = U32(in, 4);
  auto m = MessageStore(ctx.image()).GetSim(slot);
  if (!m) return kHrNotFound;
  *out = devrec::EncodeReply(slot, {devrec::Property::String("PhoneNumber", m->number),
                                    devrec::Property::String("Message", m->text),
                                    devrec::Property::Date("ReceiveTime", m->receivedUtc)});
  return 0;
}

}  // namespace

std::u16string StreamIdentifier(uint32_t id, double localDate) {
  // Mixed radix, least significant last: each digit stays below the room the component's
  // shifts leave it (4, 16, 8, 16, 4, 16, 16, 16 after the first).
  static constexpr uint32_t kRadix[9] = {10, 4, 10, 8, 10, 4, 10, 10, 10};
  char16_t digits[9];
  uint32_t v = id;
  for (int i = 8; i >= 0; --i) {
    digits[i] = char16_t(u'0' + v % kRadix[i]);
    v /= kRadix[i];
  }
  devrec::RecordTime t = RecordTimeOf(localDate);
  char date[16];
  std::snprintf(date, sizeof date, "%04u%02u%02u", unsigned(t.year % 10000), unsigned(t.month % 100),
                unsigned(t.day % 100));
  std::u16string s = Utf16(date);
  s.append(digits, 9);
  return s;
}

MessageStore::MessageStore(Image& image) : image_(image) { EnsureSchema(image_); }

std::vector<StoredMessage> MessageStore::List(uint32_t kind, uint32_t folder) {
  std::vector<StoredMessage> out;
  image_.Read([&] {
    auto prepared = image_.Prepare(
        "SELECT id, state, props FROM messages WHERE kind = ? AND folder = ? ORDER BY id");
    Stmt& st = *prepared;
    st.bind(1, int64_t(kind)).bind(2, int64_t(folder));
    while (st.step())
      out.push_back({uint32_t(st.i64(0)), kind, folder, uint16_t(st.i64(1)),
                     UnpackProps(kind, st.blob(2))});
  });
  return out;
}

std::optional<StoredMessage> MessageStore::Get(uint32_t id) {
  std::optional<StoredMessage> out;
  image_.Read([&] {
    auto prepared = image_.Prepare("SELECT kind, folder, state, props FROM messages WHERE id = ?");
    Stmt& st = *prepared;
    st.bind(1, int64_t(id));
    if (!st.step()) return;
    uint32_t kind = uint32_t(st.i64(0));
    out = StoredMessage{id, kind, uint32_t(st.i64(1)), uint16_t(st.i64(2)),
                        UnpackProps(kind, st.blob(3))};
  });
  return out;
}

bool MessageStore::GetReply(uint32_t id, uint32_t kind, std::vector<uint8_t>* out) {
  bool found = false;
  image_.Read([&] {
    auto prepared = image_.Prepare("SELECT kind, folder, state, props FROM messages WHERE id = ?");
    Stmt& st = *prepared;
    st.bind(1, int64_t(id));
    if (!st.step() || uint32_t(st.i64(0)) != kind || st.i64(2) == kStateHidden) return;
    // The stored record is a reply record whose leading word is unused; the folder takes it.
    const std::span<const uint8_t> props = st.blobView(3);
    const size_t skip = std::min<size_t>(props.size(), 4);
    out->resize(8 + props.size() - skip);
    le::Put32(out->data(), id);
    le::Put32(out->data() + 4, uint32_t(st.i64(1)));
    if (props.size() > skip) std::memcpy(out->data() + 8, props.data() + skip, props.size() - skip);
    found = true;
  });
  return found;
}

uint32_t MessageStore::Add(uint32_t kind, uint32_t folder, uint16_t state,
                           const std::vector<devrec::RawEntry>& props) {
  uint32_t id = 0;
  image_.Transaction([&] {
    Stmt ins(image_.db(), "INSERT INTO messages(kind, folder, state, props) VALUES (?, ?, ?, ?)");
    std::vector<uint8_t> blob = PackProps(kind, props);
    ins.bind(1, int64_t(kind)).bind(2, int64_t(folder)).bind(3, int64_t(state));
    ins.bindBlob(4, blob.data(), blob.size());
    ins.step();
    id = uint32_t(sqlite3_last_insert_rowid(image_.db()));
  });
  return id;
}

void MessageStore::AddAll(const std::vector<StoredMessage>& messages) {
  image_.Transaction([&] {
    Stmt ins(image_.db(), "INSERT INTO messages(kind, folder, state, props) VALUES (?, ?, ?, ?)");
    for (const StoredMessage& m : messages) {
      ins.reset();
      std::vector<uint8_t> blob = PackProps(m.kind, m.props);
      ins.bind(1, int64_t(m.kind)).bind(2, int64_t(m.folder)).bind(3, int64_t(m.state));
      ins.bindBlob(4, blob.data(), blob.size());
      ins.step();
    }
  });
}

std::optional<MessageStore::SimMessage> MessageStore::GetSim(uint32_t slot) {
  std::optional<SimMessage> out;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT number, text, received FROM sim_messages WHERE slot = ?");
    st.bind(1, int64_t(slot));
    if (st.step()) out = SimMessage{st.text(0), st.text(1), st.real(2)};
  });
  return out;
}

void MessageStore::PutSim(uint32_t slot, const SimMessage& m) {
  image_.Transaction([&] {
    Stmt st(image_.db(),
            "INSERT OR REPLACE INTO sim_messages(slot, number, text, received) VALUES (?, ?, ?, ?)");
    st.bind(1, int64_t(slot)).bind(2, m.number).bind(3, m.text).bind(4, m.receivedUtc);
    st.step();
  });
}

uint32_t MessageStore::SimUsed() {
  uint32_t n = 0;
  image_.Read([&] {
    Stmt st(image_.db(), "SELECT COUNT(*) FROM sim_messages WHERE slot BETWEEN 1 AND ?");
    st.bind(1, int64_t(kSimMessageSlots));
    if (st.step()) n = uint32_t(st.i64(0));
  });
  return n;
}

void RegisterMessageStore(ServiceRegistry& services) {
  services.AddBlock("DevCeMessageList", ListBlock);
  services.AddStream("DevCeMessageList", ListStream);
  services.AddBlock("DevCeGetMessage", GetMessage);
  services.AddBlock("DevCeSaveMessage",
                    [](ServiceContext& c, const std::vector<uint8_t>& in,
                       std::vector<uint8_t>* out) { return Store(c, in, out, false); });
  services.AddBlock("DevCeSendMessage",
                    [](ServiceContext& c, const std::vector<uint8_t>& in,
                       std::vector<uint8_t>* out) { return Store(c, in, out, true); });
  services.AddBlock("DevCeMessageSIMInfo", SimInfo);
  services.AddBlock("DevCeMessageSIMGet", SimGet);
}

}  // namespace wmemu
