#include "host/MessagesCommand.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "host/ContentLines.h"
#include "host/Export.h"
#include "host/HostError.h"
#include "host/InfoCommand.h"
#include "host/ItemColumns.h"
#include "host/ListSink.h"
#include "host/Progress.h"
#include "host/TasksIcs.h"
#include "host/Text.h"
#include "link/MmsBody.h"

namespace qwbhost {
namespace {

constexpr LONG kFirstSimMessage = 0x100010;

// The message's date as UTC milliseconds since 1970 (CREATE_DATE is the PC's local time;
// the phones keep whole seconds).
long long EpochMs(DATE local) { return static_cast<long long>(LocalDateToEpoch(local)) * 1000; }

// A refusal of the SIM card, told in words beside the HRESULT.
void CheckSim(const std::string& what, HRESULT hr) {
  if (hr == static_cast<HRESULT>(0x80042724))
    ThrowHr(what + " (the SIM card is full)", hr);
  if (hr == static_cast<HRESULT>(0x80042728))
    ThrowHr(what + " (the SIM card cannot hold this contact: a name, number or e-mail too long, "
                   "or more numbers than it keeps)",
            hr);
  CheckHr(what, hr);
}

ComPtr<IItem> NewItem(IDataTable* table, DCADATATYPE type) {
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(type, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  return item;
}

void FillSms(IItem* item, const std::string& folder, const std::optional<std::string>& to,
             const std::optional<std::string>& from, const std::string& text,
             std::optional<DATE> date) {
  if (from) PutText(item, u"SENDER", *from);
  if (to) PutText(item, u"RECEIVER", *to);
  PutText(item, u"CONTENT", text);
  PutText(item, u"FOLDER", folder);
  if (date) Put(item, u"CREATE_DATE", Variant::Date(*date));
}

int BoxOf(const std::string& folder) {
  return folder == "Sent" ? 2 : folder == "Draft" ? 3 : folder == "Outbox" ? 4 : 1;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A part name safe as a file name: its last path component, "part" when nothing is left.
std::string SafeName(const std::string& name) {
  std::string n = name.substr(name.find_last_of("/\\") == std::string::npos
                                  ? 0
                                  : name.find_last_of("/\\") + 1);
  if (n.empty() || n == "." || n == "..") n = "part";
  return n;
}

// Reads the body of one listed message through ReadItem; empty when it has none. The
// component's body file is removed once read.
std::vector<uint8_t> MmsBodyOf(IDataTable* table, IItem* item) {
  HRESULT hr = table->ReadItem(item);
  CheckHr("ReadItem", hr);
  if (hr != S_OK) return {};
  const std::string file = Text(item, u"ATTACHMENT_FILE_PATH");
  std::vector<uint8_t> body = ReadBytes(file);
  std::error_code ec;
  std::filesystem::remove(file, ec);
  return body;
}

}  // namespace

// ---- SMS ------------------------------------------------------------------------------------

SmsRecord ReadSms(IItem* item) {
  SmsRecord m;
  SUID suid = SUID_NULL;
  CheckHr("SUID", item->get_SUID(&suid));
  m.id = suid;
  m.folder = Text(item, u"FOLDER");
  m.sender = Text(item, u"SENDER");
  m.receiver = Text(item, u"RECEIVER");
  m.content = Text(item, u"CONTENT");
  m.path = Text(item, u"MY_FOLDER_PATH");
  m.date = Date(item, u"CREATE_DATE");
  return m;
}

nlohmann::json SmsJson(const SmsRecord& m) {
  nlohmann::json j = {{"id", m.id},
                      {"folder", m.folder},
                      {"sender", m.sender},
                      {"receiver", m.receiver},
                      {"text", m.content},
                      {"date", m.date ? FormatIso(*m.date) : ""},
                      {"sim", m.id >= kFirstSimMessage}};
  if (!m.path.empty()) j["path"] = m.path;
  return j;
}

namespace {

TextTable SmsLayout() {
  TextTable table({"ID", "FOLDER", "DATE", "FROM", "TO", "TEXT"});
  table.SetMaxWidth(5, 50);
  return table;
}

std::vector<std::string> SmsCells(const SmsRecord& m) {
  return {std::to_string(m.id) + (m.id >= kFirstSimMessage ? " (SIM)" : ""), m.folder,
          m.date ? FormatMinute(*m.date) : "", m.sender, m.receiver, m.content};
}

}  // namespace

std::string CheckFolder(const std::string& folder) {
  for (const char* f : {"Inbox", "Draft", "Outbox", "Sent"})
    if (Lower(folder) == Lower(f)) return f;
  ThrowUsage("--folder: '" + folder + "' is not Inbox, Draft, Outbox or Sent");
}

std::vector<SmsRecord> ReadAllSms(Session& session) {
  std::vector<SmsRecord> all;
  ComPtr<IDataTable> table = session.Table(DTID_MESSAGE);
  ForEachItem(table.Get(), "sms", [&](IItem* item, ULONG, ULONG) { all.push_back(ReadSms(item)); });
  return all;
}

void ListSms(Session& session, const std::optional<std::string>& folder, bool json,
             std::ostream& out) {
  const std::optional<std::string> want = folder ? std::optional(CheckFolder(*folder)) : std::nullopt;
  ListSink sink(out, json, SmsLayout());
  ComPtr<IDataTable> table = session.Table(DTID_MESSAGE);
  ForEachItem(table.Get(), "sms", [&](IItem* item, ULONG, ULONG) {
    const SmsRecord m = ReadSms(item);
    if (want && m.folder != *want) return;
    sink.Add([&] { return SmsJson(m); }, [&] { return SmsCells(m); });
  });
  sink.Finish();
}

void SendSms(Session& session, const std::string& to, const std::string& text) {
  if (to.empty()) ThrowUsage("--to: a recipient number is needed");
  ComPtr<IDataTable> table = session.Table(DTID_MESSAGE);
  ComPtr<IItem> item = NewItem(table.Get(), DCADT_SMS);
  FillSms(item.Get(), "Outbox", to, std::nullopt, text, std::nullopt);
  BStr send(u"send");
  CheckHr("Execute", table->Execute(send.Get(), item.Get(), nullptr));
}

bool SaveSms(Session& session, const std::string& folder, const std::optional<std::string>& to,
             const std::optional<std::string>& from, const std::string& text,
             std::optional<DATE> date) {
  ComPtr<IDataTable> table = session.Table(DTID_MESSAGE);
  ULONG before = 0, after = 0;
  CheckHr("GetItemCount", table->GetItemCount(nullptr, 0, DCADT_SMS, &before));
  ComPtr<IItem> item = NewItem(table.Get(), DCADT_SMS);
  FillSms(item.Get(), CheckFolder(folder), to, from, text, date);
  SUID suid = SUID_NULL;
  CheckHr("CreateItem", table->CreateItem(item.Get(), &suid));
  table->ListItemsEnd();
  CheckHr("GetItemCount", table->GetItemCount(nullptr, 0, DCADT_SMS, &after));
  return after > before;
}

namespace {

// Writes one element, alone in a scratch document, as it stands inside <smses>.
void PrintElement(const pugi::xml_node& element, std::ostream& out) {
  element.print(out, "  ", pugi::format_default, pugi::encoding_utf8, 1);
}

}  // namespace

void MessagesXml::Add(const SmsRecord& m) {
  pugi::xml_document scratch;
  const int type = BoxOf(m.folder);
  pugi::xml_node sms = scratch.append_child("sms");
  sms.append_attribute("protocol") = "0";
  sms.append_attribute("address") = (type == 1 ? m.sender : m.receiver).c_str();
  sms.append_attribute("date") = m.date ? EpochMs(*m.date) : 0LL;
  sms.append_attribute("type") = type;
  sms.append_attribute("subject") = "null";
  sms.append_attribute("body") = m.content.c_str();
  sms.append_attribute("toa") = "null";
  sms.append_attribute("sc_toa") = "null";
  sms.append_attribute("service_center") = "null";
  sms.append_attribute("read") = "1";
  sms.append_attribute("status") = "-1";
  sms.append_attribute("locked") = "0";
  sms.append_attribute("date_sent") = "0";
  sms.append_attribute("readable_date") = m.date ? FormatMinute(*m.date).c_str() : "";
  PrintElement(sms, out_);
  ++count_;
}

void MessagesXml::Add(const MmsRecord& m, const std::vector<uint8_t>& body) {
  pugi::xml_document scratch;
  const int box = BoxOf(m.folder);
  pugi::xml_node node = scratch.append_child("mms");
  node.append_attribute("date") = m.date ? EpochMs(*m.date) : 0LL;
  node.append_attribute("msg_box") = box;
  node.append_attribute("address") = (box == 1 ? m.sender : m.receiver).c_str();
  node.append_attribute("sub") = m.subject.empty() ? "null" : m.subject.c_str();
  node.append_attribute("read") = "1";
  node.append_attribute("ct_t") = "application/vnd.wap.multipart.related";
  node.append_attribute("m_type") = box == 1 ? "132" : "128";
  node.append_attribute("m_size") = static_cast<unsigned long long>(body.size());
  node.append_attribute("readable_date") = m.date ? FormatMinute(*m.date).c_str() : "";
  pugi::xml_node parts = node.append_child("parts");
  std::vector<devrec::MmsPart> split;
  if (auto p = devrec::SplitMmsBody(body)) split = *p;
  else if (!body.empty())
    split.push_back({"application/vnd.wap.multipart.related", "body.mms", body});
  int seq = 0;
  for (const devrec::MmsPart& p : split) {
    pugi::xml_node part = parts.append_child("part");
    const bool smil = p.contentType == "application/smil";
    part.append_attribute("seq") = smil ? -1 : seq++;
    part.append_attribute("ct") = p.contentType.c_str();
    part.append_attribute("name") = p.name.c_str();
    part.append_attribute("cl") = p.name.c_str();
    if (smil || p.contentType.rfind("text/", 0) == 0)
      part.append_attribute("text") = std::string(p.data.begin(), p.data.end()).c_str();
    else
      part.append_attribute("data") = Base64(p.data).c_str();
  }
  pugi::xml_node addrs = node.append_child("addrs");
  for (auto [address, type] : {std::pair{m.sender, 137}, std::pair{m.receiver, 151}}) {
    if (address.empty()) continue;
    pugi::xml_node addr = addrs.append_child("addr");
    addr.append_attribute("address") = address.c_str();
    addr.append_attribute("type") = type;
    addr.append_attribute("charset") = 106;
  }
  PrintElement(node, out_);
  ++count_;
}

std::string MessagesXml::Head() const {
  std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<smses count=\"" + std::to_string(count_) + "\"";
  // An element without children closes itself.
  return head + (count_ ? ">\n" : " />\n");
}

std::string MessagesXml::Tail() const { return count_ ? "</smses>\n" : ""; }

std::string SmsBackupXml(const std::vector<SmsRecord>& messages,
                         const std::vector<MmsBackup>& mms) {
  std::ostringstream body;
  MessagesXml xml(body);
  for (const SmsRecord& m : messages) xml.Add(m);
  for (const MmsBackup& b : mms) xml.Add(b.record, b.body);
  return xml.Head() + body.str() + xml.Tail();
}

// ---- MMS ------------------------------------------------------------------------------------

MmsRecord ReadMms(IItem* item) {
  MmsRecord m;
  SUID suid = SUID_NULL;
  CheckHr("SUID", item->get_SUID(&suid));
  m.id = suid;
  m.position = static_cast<unsigned long>(Integer(item, u"MESSAGE_ID").value_or(0));
  m.folder = Text(item, u"FOLDER");
  m.subject = Text(item, u"SUBJECT");
  m.sender = Text(item, u"SENDER");
  m.receiver = Text(item, u"RECEIVER");
  m.date = Date(item, u"CREATE_DATE");
  m.size = static_cast<unsigned long>(Integer(item, u"TOTAL_SIZE").value_or(0));
  m.bodyFile = Text(item, u"ATTACHMENT_FILE_PATH");
  return m;
}

nlohmann::json MmsJson(const MmsRecord& m) {
  return {{"id", m.id},         {"folder", m.folder},     {"subject", m.subject},
          {"sender", m.sender}, {"receiver", m.receiver}, {"date", m.date ? FormatIso(*m.date) : ""},
          {"size", m.size}};
}

void ListMms(Session& session, bool json, std::ostream& out) {
  TextTable layout({"ID", "FOLDER", "DATE", "FROM", "TO", "SIZE", "SUBJECT"});
  layout.SetMaxWidth(6, 40);
  ListSink sink(out, json, std::move(layout));
  ComPtr<IDataTable> table = session.Table(DTID_MMS);
  ForEachItem(table.Get(), "mms", [&](IItem* item, ULONG, ULONG) {
    const MmsRecord m = ReadMms(item);
    sink.Add([&] { return MmsJson(m); },
             [&] {
               return std::vector<std::string>{std::to_string(m.id), m.folder,
                                               m.date ? FormatMinute(*m.date) : "", m.sender,
                                               m.receiver, std::to_string(m.size), m.subject};
             });
  });
  sink.Finish();
}

std::vector<std::string> GetMms(Session& session, LONG id, const std::string& dir) {
  ComPtr<IDataTable> table = session.Table(DTID_MMS);
  std::vector<uint8_t> body;
  bool found = false;
  ForEachItem(table.Get(), "mms", [&](IItem* item, ULONG, ULONG) {
    SUID suid = SUID_NULL;
    if (found || FAILED(item->get_SUID(&suid)) || suid != id) return;
    found = true;
    body = MmsBodyOf(table.Get(), item);
  });
  if (!found) throw HostError(kExitFailure, "no MMS with id " + std::to_string(id));
  if (body.empty()) throw HostError(kExitFailure, "MMS " + std::to_string(id) + " has no body");
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::vector<std::string> written;
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (std::filesystem::path(dir) / name).string();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw HostError(kExitFailure, "cannot write " + path);
    written.push_back(path);
  };
  const std::string stem = std::to_string(id);
  write(stem + ".mms", body);
  if (auto parts = devrec::SplitMmsBody(body))
    for (const devrec::MmsPart& p : *parts) write(stem + "-" + SafeName(p.name), p.data);
  return written;
}

void SendMms(Session& session, const std::string& to, const std::string& file,
             const std::optional<std::string>& subject) {
  std::error_code ec;
  const std::string path = std::filesystem::absolute(file, ec).string();
  if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) == 0)
    ThrowUsage("mms send: '" + file + "' is not a non-empty file");
  ComPtr<IDataTable> table = session.Table(DTID_MMS);
  ComPtr<IItem> item = NewItem(table.Get(), DCADT_MMS);
  PutText(item.Get(), u"ATTACHMENT_FILE_PATH", path);
  PutText(item.Get(), u"RECEIVER", to);
  if (subject) PutText(item.Get(), u"SUBJECT", *subject);
  PutText(item.Get(), u"FOLDER", "Outbox");
  BStr send(u"send");
  CheckHr("Execute", table->Execute(send.Get(), item.Get(), nullptr));
}

// ---- SIM phonebook --------------------------------------------------------------------------

SimRecord ReadSim(IItem* item) {
  SimRecord c;
  SUID suid = SUID_NULL;
  CheckHr("SUID", item->get_SUID(&suid));
  c.id = suid;
  c.name = Text(item, u"DISPLAY_NAME");
  c.reading = Text(item, u"READING_FIRST_NAME");
  static const char16_t* const kNumbers[] = {u"TEL_NUM_0", u"TEL_NUM_1", u"TEL_NUM_2",
                                             u"TEL_NUM_3", u"TEL_NUM_4", u"TEL_NUM_5"};
  for (const char16_t* column : kNumbers) {
    std::string n = Text(item, column);
    if (!n.empty()) c.numbers.push_back(n);
  }
  c.email = Text(item, u"EMAIL_ADDR_0");
  return c;
}

nlohmann::json SimJson(const SimRecord& c) {
  nlohmann::json j = {{"id", c.id}, {"name", c.name}, {"numbers", c.numbers}, {"email", c.email}};
  if (!c.reading.empty()) j["reading"] = c.reading;
  return j;
}

namespace {

TextTable SimLayout() { return TextTable({"ID", "NAME", "NUMBERS", "E-MAIL"}); }

std::vector<std::string> SimCells(const SimRecord& c) {
  std::string numbers;
  for (const std::string& n : c.numbers) numbers += (numbers.empty() ? "" : ", ") + n;
  return {std::to_string(c.id), c.name, numbers, c.email};
}

}  // namespace

std::vector<SimRecord> ReadAllSim(Session& session) {
  std::vector<SimRecord> all;
  ComPtr<IDataTable> table = session.Table(DTID_SIM);
  ForEachItem(table.Get(), "sim", [&](IItem* item, ULONG, ULONG) { all.push_back(ReadSim(item)); });
  return all;
}

void ListSim(Session& session, bool json, std::ostream& out) {
  ListSink sink(out, json, SimLayout());
  ComPtr<IDataTable> table = session.Table(DTID_SIM);
  ForEachItem(table.Get(), "sim", [&](IItem* item, ULONG, ULONG) {
    const SimRecord c = ReadSim(item);
    sink.Add([&] { return SimJson(c); }, [&] { return SimCells(c); });
  });
  sink.Finish();
}

namespace {

void ApplySimEdit(IItem* item, const SimEdit& e) {
  if (e.name) PutText(item, u"DISPLAY_NAME", *e.name);
  if (e.numbers) {
    if (e.numbers->size() > 4) ThrowUsage("--number: a SIM contact holds at most 4 numbers");
    static const char16_t* const kNumbers[] = {u"TEL_NUM_0", u"TEL_NUM_1", u"TEL_NUM_2",
                                               u"TEL_NUM_3"};
    for (size_t i = 0; i < 4; ++i) {
      PutText(item, kNumbers[i], i < e.numbers->size() ? (*e.numbers)[i] : "");
      if (i < e.numbers->size()) PutText(item, (u"TEL_TYPE_" + std::u16string(1, u'0' + i)).c_str(), "Mobile.Private");
    }
    Put(item, u"TEL_COUNT", Variant::I4(static_cast<LONG>(e.numbers->size())));
  }
  if (e.email) {
    PutText(item, u"EMAIL_ADDR_0", *e.email);
    PutText(item, u"EMAIL_TYPE_0", e.email->empty() ? "" : "private");
    Put(item, u"EMAIL_COUNT", Variant::I4(e.email->empty() ? 0 : 1));
  }
}

ComPtr<IItem> FindSim(IDataTable* table, LONG id) {
  ComPtr<IItem> found;
  ForEachItem(table, "sim", [&](IItem* item, ULONG, ULONG) {
    SUID suid = SUID_NULL;
    if (!found && SUCCEEDED(item->get_SUID(&suid)) && suid == id) found = ComPtr<IItem>(item);
  });
  if (!found) throw HostError(kExitFailure, "no SIM contact with id " + std::to_string(id));
  return found;
}

}  // namespace

SimRecord AddSim(Session& session, const SimEdit& edit) {
  if (!edit.name && !edit.numbers) ThrowUsage("sim add: give --name and/or --number");
  ComPtr<IDataTable> table = session.Table(DTID_SIM);
  // The table learns the card's capacity from a listing.
  CheckHr("ListItemsAllBegin", table->ListItemsAllBegin());
  ComPtr<IItem> item = NewItem(table.Get(), DCADT_PHONEBOOK_SIM);
  ApplySimEdit(item.Get(), edit);
  SUID suid = SUID_NULL;
  CheckSim("CreateItem", table->CreateItem(item.Get(), &suid));
  table->ListItemsEnd();
  return ReadSim(item.Get());
}

SimRecord UpdateSim(Session& session, LONG id, const SimEdit& edit) {
  ComPtr<IDataTable> table = session.Table(DTID_SIM);
  ComPtr<IItem> item = FindSim(table.Get(), id);
  ApplySimEdit(item.Get(), edit);
  CheckSim("UpdateItem", table->UpdateItem(item.Get()));
  return ReadSim(FindSim(table.Get(), id).Get());
}

void DeleteSim(Session& session, LONG id) {
  ComPtr<IDataTable> table = session.Table(DTID_SIM);
  ComPtr<IItem> item = FindSim(table.Get(), id);
  CheckHr("DeleteItem", table->DeleteItem(item.Get()));
}

void SimInfo(Session& session, bool json, std::ostream& out) {
  HRESULT counted = S_OK;
  const nlohmann::json sim = SimCapacity(session, nullptr, &counted);
  CheckHr("GetItemCount", counted);
  if (json) {
    nlohmann::json j = nlohmann::json::object();
    for (const auto& [key, value] : sim.items())
      if (!value.is_null()) j[key] = value;
    out << j.dump(2) << '\n';
    return;
  }
  auto show = [&](const char* key) { return sim[key].is_null() ? "unknown" : sim[key].dump(); };
  out << "used:                " << show("used") << '\n'
      << "total:               " << show("total") << '\n'
      << "max name length:     " << show("maxNameLength") << '\n'
      << "max number length:   " << show("maxNumberLength") << '\n'
      << "max e-mail length:   " << show("maxEmailLength") << '\n';
}

std::string SimVCard(const SimRecord& c, const std::string& uid, const std::string& stamp) {
  ContentLines out;
  out.Begin("VCARD").Raw("VERSION", "3.0").Text("UID", uid);
  out.Text("FN", c.name).Raw("N", Structured({{}, {c.name}, {}, {}, {}}));
  for (size_t i = 0; i < c.numbers.size(); ++i)
    out.Text("TEL", c.numbers[i], {{"TYPE", i == 0 ? std::vector<std::string>{"cell", "pref"}
                                                  : std::vector<std::string>{"cell"}}});
  if (!c.email.empty()) out.Text("EMAIL", c.email, {{"TYPE", {"internet"}}});
  out.Text("NOTE", "SIM position " + std::to_string(c.id));
  if (!stamp.empty()) out.Raw("REV", stamp);
  out.End("VCARD");
  return out.str();
}

// ---- Exporters ------------------------------------------------------------------------------

namespace {


class SimExporter : public Exporter {
 public:
  std::string name() const override { return "sim-contacts"; }
  ExportFormat format() const override { return ExportFormat::kVCard; }
  std::vector<ExportRecord> Read(Session& session, const ExportContext& context,
                                 Progress& progress) override {
    std::vector<ExportRecord> records;
    ReadEach(session, context, progress,
             [&](ExportRecord&& r) { records.push_back(std::move(r)); });
    return records;
  }
  void ReadEach(Session& session, const ExportContext& context, Progress& progress,
                const std::function<void(ExportRecord&&)>& sink) override {
    ComPtr<IDataTable> table = session.Table(DTID_SIM);
    ForEachItem(table.Get(), "sim", [&](IItem* item, ULONG n, ULONG total) {
      SimRecord c = ReadSim(item);
      std::string uid = context.Uid("sim-contact", c.id);
      sink({uid, SimVCard(c, uid, context.Stamp()), {}});
      progress.Update(n + 1, total);
    });
  }
};

}  // namespace

size_t ExportMessages(Session& session, const std::filesystem::path& dir, Progress& progress) {
  // Each message is written as it arrives: memory stays flat however many the phone holds.
  ScratchDocument document(dir / "messages.xml");
  MessagesXml xml(document.records());
  ComPtr<IDataTable> table = session.Table(DTID_MESSAGE);
  ForEachItem(table.Get(), "sms", [&](IItem* item, ULONG n, ULONG total) {
    xml.Add(ReadSms(item));
    progress.Update(n + 1, total);
  });
  // Multimedia messages join them, and their raw bodies go beside, in mms/ID.mms.
  const std::filesystem::path raw = dir / "mms";
  ComPtr<IDataTable> mmsTable = session.Table(DTID_MMS);
  ForEachItem(mmsTable.Get(), "mms", [&](IItem* item, ULONG, ULONG) {
    const MmsRecord m = ReadMms(item);
    const std::vector<uint8_t> body = MmsBodyOf(mmsTable.Get(), item);
    std::error_code ec;
    std::filesystem::create_directories(raw, ec);
    if (!body.empty())
      WriteWhole(raw / (std::to_string(m.id) + ".mms"), std::string(body.begin(), body.end()));
    xml.Add(m, body);
  });
  document.Finish(xml.Head(), xml.Tail());
  return xml.count();
}

std::unique_ptr<Exporter> MakeSimExporter() { return std::make_unique<SimExporter>(); }

}  // namespace qwbhost
