#include "host/ContactsCommand.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "host/ListSink.h"
#include "host/HostError.h"
#include "host/ItemColumns.h"
#include "host/Text.h"
#include "wincompat/gdiplus.h"

namespace qwbhost {
namespace {

// "NUMBER" or "NUMBER@DIAL".
ContactPhone PhoneOption(const std::string& kind, const std::string& value) {
  size_t at = value.rfind('@');
  ContactPhone p{kind, value.substr(0, at), at == std::string::npos ? "" : value.substr(at + 1)};
  return p;
}

void SetPhone(ContactRecord* c, const std::string& kind, const std::optional<std::string>& opt) {
  if (!opt) return;
  auto it = std::find_if(c->phones.begin(), c->phones.end(),
                         [&](const ContactPhone& p) { return p.kind == kind; });
  if (opt->empty()) {
    if (it != c->phones.end()) c->phones.erase(it);
    return;
  }
  ContactPhone p = PhoneOption(kind, *opt);
  if (it != c->phones.end()) {
    *it = p;
  } else {
    c->phones.push_back(p);
  }
}

std::optional<DATE> DateOption(const std::string& what, const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::optional<DATE> d = ParseDay(text);
  if (!d) ThrowUsage(what + ": '" + text + "' is not a date YYYY-MM-DD");
  return d;
}

void Edit(ContactRecord* c, const ContactOptions& o, const Phonebook& book) {
  auto set = [](std::string* field, const std::optional<std::string>& v) {
    if (v) *field = *v;
  };
  set(&c->first, o.first);
  set(&c->last, o.last);
  set(&c->middle, o.middle);
  set(&c->nick, o.nick);
  set(&c->displayName, o.display);
  set(&c->company, o.company);
  set(&c->jobTitle, o.jobTitle);
  set(&c->department, o.department);
  set(&c->notes, o.notes);
  set(&c->url, o.url);
  set(&c->readingFirst, o.readingFirst);
  set(&c->readingLast, o.readingLast);
  if (o.birthday) c->birthday = DateOption("--birthday", *o.birthday);
  if (o.anniversary) c->anniversary = DateOption("--anniversary", *o.anniversary);
  SetPhone(c, "Mobile", o.mobile);
  SetPhone(c, "Landline.Private", o.home);
  SetPhone(c, "Landline.Business", o.work);
  SetPhone(c, "Fax.Business", o.fax);
  if (o.clearEmails || !o.emails.empty()) c->emails = o.emails;
  if (o.clearGroups || !o.groups.empty()) {
    c->groupIds.clear();
    for (const std::string& name : o.groups) {
      auto it = std::find_if(book.groups.begin(), book.groups.end(),
                             [&](const GroupRecord& g) { return g.name == name; });
      if (it == book.groups.end()) ThrowUsage("--group: the phone has no group '" + name + "'");
      c->groupIds.push_back(static_cast<ULONG>(it->id));
    }
  }
}

// The phonebook's groups and contact `id`, read without keeping the other contacts.
std::pair<Phonebook, ContactRecord> Find(Session& session, LONG id) {
  std::optional<ContactRecord> found;
  Phonebook book = ForEachContact(session, [&](const ContactRecord& c, const Phonebook&, ULONG, ULONG) {
    if (c.id == id && !found) found = c;
  });
  if (!found) throw HostError(kExitFailure, "the phone has no contact " + std::to_string(id));
  return {std::move(book), std::move(*found)};
}

// The phonebook's groups alone.
Phonebook Groups(Session& session) {
  return ForEachContact(session, [](const ContactRecord&, const Phonebook&, ULONG, ULONG) {});
}

// A no-reply write is known to be done once a later exchange on the stream came back.
void Settle(IDataTable* table) {
  CheckHr("ListItemsAllBegin", table->ListItemsAllBegin());
  table->ListItemsEnd();
}

std::string FirstPhone(const ContactRecord& c) {
  return c.phones.empty() ? "" : c.phones[0].number;
}

}  // namespace

void CheckContactOptions(const ContactOptions& o) {
  if (o.birthday) DateOption("--birthday", *o.birthday);
  if (o.anniversary) DateOption("--anniversary", *o.anniversary);
  for (const auto* phone : {&o.mobile, &o.home, &o.work, &o.fax}) {
    if (!*phone) continue;
    ContactPhone p = PhoneOption("", **phone);
    if (!p.speedDial.empty() && p.speedDial.find_first_not_of("0123456789") != std::string::npos)
      ThrowUsage("speed dial '" + p.speedDial + "' is not a number");
  }
  if (o.emails.size() > 3) ThrowUsage("--email: the phone keeps three e-mail addresses");
}

namespace {

TextTable ContactsLayout() {
  TextTable table({"ID", "NAME", "PHONE", "EMAIL", "GROUPS"});
  table.SetAlign(0, TextTable::Align::kRight);
  table.SetMaxWidth(1, 40);
  table.SetMaxWidth(3, 40);
  return table;
}

std::vector<std::string> ContactCells(const ContactRecord& c, const Phonebook& book) {
  std::string groups;
  for (ULONG id : c.groupIds) {
    std::string name = book.GroupName(id);
    if (!name.empty()) groups += (groups.empty() ? "" : ", ") + name;
  }
  return {std::to_string(c.id), c.Title(), FirstPhone(c), c.emails.empty() ? "" : c.emails[0],
          groups};
}

}  // namespace

nlohmann::json ContactJson(const ContactRecord& c, const Phonebook& book) {
  nlohmann::json j;
  j["id"] = c.id;
  j["name"] = c.Title();
  auto opt = [&](const char* key, const std::string& v) {
    if (!v.empty()) j[key] = v;
  };
  opt("displayName", c.displayName);
  opt("first", c.first);
  opt("last", c.last);
  opt("middle", c.middle);
  opt("nickname", c.nick);
  opt("prefix", c.prefix);
  opt("suffix", c.suffix);
  opt("readingFirst", c.readingFirst);
  opt("readingLast", c.readingLast);
  opt("company", c.company);
  opt("jobTitle", c.jobTitle);
  opt("department", c.department);
  opt("notes", c.notes);
  opt("url", c.url);
  j["phones"] = nlohmann::json::array();
  for (const ContactPhone& p : c.phones) {
    nlohmann::json pj{{"kind", p.kind}, {"number", p.number}};
    if (!p.speedDial.empty()) pj["speedDial"] = p.speedDial;
    j["phones"].push_back(pj);
  }
  j["emails"] = c.emails;
  j["addresses"] = nlohmann::json::array();
  for (const ContactAddress& a : c.addresses)
    j["addresses"].push_back({{"kind", a.kind}, {"street", a.street}, {"locality", a.locality},
                              {"region", a.region}, {"postalCode", a.postalCode},
                              {"country", a.country}});
  if (c.birthday) j["birthday"] = FormatDay(*c.birthday);
  if (c.anniversary) j["anniversary"] = FormatDay(*c.anniversary);
  j["groups"] = nlohmann::json::array();
  for (ULONG id : c.groupIds) {
    std::string name = book.GroupName(id);
    if (!name.empty()) j["groups"].push_back(name);
  }
  if (!c.photoPath.empty()) j["photo"] = {{"file", c.photo}, {"path", c.photoPath}};
  return j;
}

void ListContacts(Session& session, bool json, std::ostream& out) {
  ListSink sink(out, json, ContactsLayout());
  ForEachContact(session, [&](const ContactRecord& c, const Phonebook& book, ULONG, ULONG) {
    sink.Add([&] { return ContactJson(c, book); }, [&] { return ContactCells(c, book); });
  });
  sink.Finish();
}

void ShowContact(Session& session, LONG id, std::ostream& out) {
  const auto [book, contact] = Find(session, id);
  out << ContactJson(contact, book).dump(2) << "\n";
}

ContactRecord AddContact(Session& session, const ContactOptions& o) {
  const Phonebook book = Groups(session);
  ContactRecord c;
  Edit(&c, o, book);
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_PHONEBOOK, SUID_NULL, SUID_NULL,
                                    item.ReleaseAndGetAddressOf()));
  ApplyContact(item.Get(), c);
  SUID id = SUID_NULL;
  CheckHr("CreateItem", table->CreateItem(item.Get(), &id));
  return ReadContact(item.Get());
}

ContactRecord UpdateContact(Session& session, LONG id, const ContactOptions& o) {
  auto [book, c] = Find(session, id);
  Edit(&c, o, book);
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_PHONEBOOK, static_cast<SUID>(id), SUID_NULL, item.ReleaseAndGetAddressOf()));
  ApplyContact(item.Get(), c);
  CheckHr("UpdateItem", table->UpdateItem(item.Get()));
  return ReadContact(item.Get());
}

void DeleteContact(Session& session, LONG id) {
  Find(session, id);
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_PHONEBOOK, static_cast<SUID>(id), SUID_NULL, item.ReleaseAndGetAddressOf()));
  CheckHr("DeleteItem", table->DeleteItem(item.Get()));
  Settle(table.Get());
}

void CheckPictureFile(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec))
    ThrowUsage("'" + file + "' is not a file");
  Gdiplus::GdiplusSession pictures;
  if (pictures.status() != Gdiplus::Ok)
    throw HostError(kExitFailure, "the picture library does not start");
  Gdiplus::ScopedGpBitmap bitmap;
  const Gdiplus::Status status =
      GdipCreateBitmapFromFile(Utf16(std::filesystem::absolute(file, ec).string()).c_str(),
                               bitmap.Receive());
  switch (status) {
    case Gdiplus::Ok:
      return;
    case Gdiplus::UnknownImageFormat:
      ThrowUsage("'" + file + "' is not a JPEG, PNG, GIF, BMP or WebP picture");
    case Gdiplus::ValueOverflow:
      ThrowUsage("'" + file + "' is too large a picture");
    case Gdiplus::AccessDenied:
    case Gdiplus::FileNotFound:
      ThrowUsage("cannot read '" + file + "'");
    default:
      ThrowUsage("'" + file + "' is a damaged picture");
  }
}

namespace {

ContactRecord WritePhoto(Session& session, LONG id, const std::string& path) {
  ContactRecord c = Find(session, id).second;
  c.photoPath = path;
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_PHONEBOOK, static_cast<SUID>(id), SUID_NULL,
                                    item.ReleaseAndGetAddressOf()));
  ApplyContact(item.Get(), c);
  CheckHr("UpdateItem", table->UpdateItem(item.Get()));
  return ReadContact(item.Get());
}

}  // namespace

ContactRecord SetContactPhoto(Session& session, LONG id, const std::string& file) {
  CheckPictureFile(file);
  std::error_code ec;
  ContactRecord c = WritePhoto(session, id, std::filesystem::absolute(file, ec).string());
  if (c.photoPath.empty())
    throw HostError(kExitFailure, "the phone did not keep the photo of contact " + std::to_string(id));
  return c;
}

ContactRecord ClearContactPhoto(Session& session, LONG id) { return WritePhoto(session, id, ""); }

void ListGroups(Session& session, bool json, std::ostream& out) {
  // The members of each group are counted as the contacts go by; none of them is kept.
  std::map<ULONG, size_t> members;
  const Phonebook book =
      ForEachContact(session, [&](const ContactRecord& c, const Phonebook&, ULONG, ULONG) {
        std::vector<ULONG> ids = c.groupIds;
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        for (ULONG id : ids) ++members[id];
      });
  TextTable layout({"ID", "NAME"});
  layout.SetAlign(0, TextTable::Align::kRight);
  ListSink sink(out, json, std::move(layout));
  for (const GroupRecord& g : book.groups) {
    const auto count = members.find(static_cast<ULONG>(g.id));
    sink.Add(
        [&] {
          return nlohmann::json{{"id", g.id},
                                {"name", g.name},
                                {"members", count == members.end() ? 0 : count->second}};
        },
        [&] { return std::vector<std::string>{std::to_string(g.id), g.name}; });
  }
  sink.Finish();
}

LONG AddGroup(Session& session, const std::string& name) {
  if (name.empty()) ThrowUsage("a group needs a name");
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_GROUP, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  PutText(item.Get(), u"NAME", name);
  SUID id = SUID_NULL;
  CheckHr("CreateItem", table->CreateItem(item.Get(), &id));
  return id;
}

void RenameGroup(Session& session, LONG id, const std::string& name) {
  if (name.empty()) ThrowUsage("a group needs a name");
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_GROUP, static_cast<SUID>(id), SUID_NULL, item.ReleaseAndGetAddressOf()));
  PutText(item.Get(), u"NAME", name);
  CheckHr("UpdateItem", table->UpdateItem(item.Get()));
}

void DeleteGroup(Session& session, LONG id) {
  const Phonebook book = Groups(session);
  if (book.GroupName(static_cast<ULONG>(id)).empty())
    throw HostError(kExitFailure, "the phone has no group " + std::to_string(id));
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ComPtr<IItem> item;
  CheckHr("NewItem", table->NewItem(DCADT_GROUP, static_cast<SUID>(id), SUID_NULL, item.ReleaseAndGetAddressOf()));
  CheckHr("DeleteItem", table->DeleteItem(item.Get()));
}

}  // namespace qwbhost
