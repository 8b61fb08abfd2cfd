#include "host/ContactsVcf.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

#include <stdlib.h>
#include <unistd.h>

#include "host/ContentLines.h"
#include "host/HostError.h"
#include "host/ContactsCommand.h"
#include "host/ItemColumns.h"
#include "host/PhoneIdentity.h"
#include "host/Progress.h"
#include "host/Text.h"
#include "wincompat/comptr.h"

namespace qwbhost {
namespace {


struct KindTypes {
  const char* kind;
  std::vector<std::string> types;  // the TYPE parameter's values
};
// Phone kinds and the vCard types they are written with; read back in this order of
// preference when a card has no X-PHONE-KIND.
const KindTypes kKindTypes[] = {
    {"Mobile", {"cell"}},
    {"Landline.Private", {"home", "voice"}},
    {"Landline.Private2", {"home", "voice"}},
    {"Landline.Business", {"work", "voice"}},
    {"Landline.Business2", {"work", "voice"}},
    {"Fax.Private", {"home", "fax"}},
    {"Fax.Business", {"work", "fax"}},
    {"RadioTel", {"x-radio"}},
    {"CarPhone", {"x-car"}},
    {"Pager", {"pager"}},
    {"Company", {"work", "x-company"}},
};

std::vector<std::string> TypesOfKind(const std::string& kind) {
  for (const KindTypes& k : kKindTypes)
    if (kind == k.kind) return k.types;
  return {"voice"};
}

const char* AdrType(const std::string& kind) {
  return kind == "private" ? "home" : kind == "business" ? "work" : "x-other";
}

std::string DateValue(DATE d) {
  auto p = SplitDate(d);
  if (!p) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", p->year, p->month, p->day);
  return text;
}

// The media type of a picture by its first bytes; JPEG when none is recognised.
const char* PictureMediaType(const std::vector<uint8_t>& b) {
  auto starts = [&](std::string_view sig, size_t at = 0) {
    if (b.size() < at + sig.size()) return false;
    for (size_t i = 0; i < sig.size(); ++i)
      if (b[at + i] != static_cast<uint8_t>(sig[i])) return false;
    return true;
  };
  if (starts("\x89PNG")) return "image/png";
  if (starts("GIF8")) return "image/gif";
  if (starts("RIFF") && starts("WEBP", 8)) return "image/webp";
  if (starts("BM")) return "image/bmp";
  return "image/jpeg";
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteCard(const ContactRecord& c, const Phonebook& book, const std::string& uid,
               std::string* out) {
  ContentLines card;
  card.Begin("VCARD").Raw("VERSION", "4.0").Raw("UID", uid).Text("FN", c.Title());
  ContentParams nameParams;
  if (!c.readingLast.empty() || !c.readingFirst.empty())
    nameParams.push_back({"SORT-AS", {c.readingLast + "," + c.readingFirst}});
  card.Raw("N", Structured({{c.last}, {c.first}, {c.middle}, {c.prefix}, {c.suffix}}), nameParams);
  if (!c.readingFirst.empty()) card.Text("X-PHONETIC-FIRST-NAME", c.readingFirst);
  if (!c.readingLast.empty()) card.Text("X-PHONETIC-LAST-NAME", c.readingLast);
  if (!c.nick.empty()) card.Text("NICKNAME", c.nick);
  if (!c.company.empty() || !c.department.empty()) {
    std::vector<std::vector<std::string>> org{{c.company}};
    if (!c.department.empty()) org.push_back({c.department});
    card.Raw("ORG", Structured(org));
  }
  if (!c.jobTitle.empty()) card.Text("TITLE", c.jobTitle);
  for (const ContactPhone& p : c.phones) {
    ContentParams params{{"TYPE", TypesOfKind(p.kind)}};
    if (!p.kind.empty()) params.push_back({"X-PHONE-KIND", {p.kind}});
    if (!p.speedDial.empty()) params.push_back({"X-SPEED-DIAL", {p.speedDial}});
    card.Text("TEL", p.number, params);
  }
  if (!c.assistantPhone.empty())
    card.Text("TEL", c.assistantPhone, {{"TYPE", {"x-assistant"}}, {"X-PHONE-KIND", {"Assistant"}}});
  for (size_t i = 0; i < c.emails.size(); ++i)
    if (!c.emails[i].empty())
      card.Text("EMAIL", c.emails[i], {{"TYPE", {"home"}}, {"PREF", {std::to_string(i + 1)}}});
  if (!c.url.empty()) card.Raw("URL", c.url);
  for (const std::string& im : c.messengers)
    if (!im.empty()) card.Raw("IMPP", im.find(':') == std::string::npos ? "im:" + im : im);
  for (const ContactAddress& a : c.addresses)
    card.Raw("ADR",
             Structured({{}, {}, {a.street}, {a.locality}, {a.region}, {a.postalCode}, {a.country}}),
             {{"TYPE", {AdrType(a.kind)}}});
  if (c.birthday && !DateValue(*c.birthday).empty()) card.Raw("BDAY", DateValue(*c.birthday));
  if (c.anniversary && !DateValue(*c.anniversary).empty())
    card.Raw("ANNIVERSARY", DateValue(*c.anniversary));
  if (!c.notes.empty()) card.Text("NOTE", c.notes);
  std::vector<std::string> categories;
  for (ULONG id : c.groupIds) categories.push_back(book.GroupName(id));
  card.List("CATEGORIES", categories);
  if (!c.photoPath.empty()) {
    const std::vector<uint8_t> photo = ReadFileBytes(c.photoPath);
    if (!photo.empty())
      card.Raw("PHOTO", std::string("data:") + PictureMediaType(photo) + ";base64," + Base64(photo));
  }
  const std::pair<const char*, const std::string*> related[] = {
      {"spouse", &c.spouse}, {"child", &c.children}, {"x-assistant", &c.assistant},
      {"x-manager", &c.manager}};
  for (const auto& [type, value] : related)
    if (!value->empty()) card.Text("RELATED", *value, {{"VALUE", {"text"}}, {"TYPE", {type}}});
  if (!c.office.empty()) card.Text("X-OFFICE-LOCATION", c.office);
  if (!c.ringtone.empty()) card.Text("X-RINGTONE", c.ringtone);
  card.End("VCARD");
  *out += card.str();
}

// ---- Reading ---------------------------------------------------------------------------------

struct Line {
  std::string name;  // upper case, without group
  std::map<std::string, std::vector<std::string>> params;  // upper-case names
  std::string value;
  std::string raw;
};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::vector<std::string> Unfold(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find('\n', i);
    std::string line = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    i = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      current += line.substr(1);
    } else {
      if (!current.empty()) lines.push_back(current);
      current = line;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::string UnescapeParam(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '^' && i + 1 < s.size()) {
      char n = s[i + 1];
      if (n == '^' || n == '\'' || n == 'n') {
        out += n == '^' ? '^' : n == '\'' ? '"' : '\n';
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool ParseLine(const std::string& raw, Line* out) {
  out->raw = raw;
  size_t i = 0;
  bool quoted = false;
  std::string head;
  for (; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '"') quoted = !quoted;
    if (c == ':' && !quoted) break;
    head += c;
  }
  if (i >= raw.size()) return false;
  out->value = raw.substr(i + 1);
  // NAME;PARAM=v,v;PARAM="v"
  std::vector<std::string> parts;
  std::string part;
  quoted = false;
  for (char c : head) {
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  std::string name = parts[0];
  size_t dot = name.find('.');
  if (dot != std::string::npos) name = name.substr(dot + 1);
  out->name = Upper(name);
  for (size_t p = 1; p < parts.size(); ++p) {
    size_t eq = parts[p].find('=');
    std::string key = Upper(eq == std::string::npos ? "TYPE" : parts[p].substr(0, eq));
    std::string values = eq == std::string::npos ? parts[p] : parts[p].substr(eq + 1);
    std::string v;
    quoted = false;
    auto flush = [&] {
      out->params[key].push_back(UnescapeParam(v));
      v.clear();
    };
    for (char c : values) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        flush();
      } else {
        v += c;
      }
    }
    flush();
  }
  return true;
}

// Splits a value at unescaped `sep` and unescapes the pieces.
std::vector<std::string> SplitValue(const std::string& value, char sep) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      char n = value[++i];
      out.back() += (n == 'n' || n == 'N') ? '\n' : n;
    } else if (c == sep) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

std::string TextValue(const std::string& value) {
  std::vector<std::string> v = SplitValue(value, '\0');
  return v[0];
}

bool HasType(const Line& l, const char* type) {
  auto it = l.params.find("TYPE");
  if (it == l.params.end()) return false;
  for (const std::string& t : it->second)
    if (Upper(t) == Upper(type)) return true;
  return false;
}

std::string Param(const Line& l, const char* name) {
  auto it = l.params.find(name);
  return it == l.params.end() || it->second.empty() ? std::string() : it->second[0];
}

std::string KindOfTypes(const Line& l) {
  if (HasType(l, "cell")) return "Mobile";
  if (HasType(l, "fax")) return HasType(l, "work") ? "Fax.Business" : "Fax.Private";
  if (HasType(l, "pager")) return "Pager";
  if (HasType(l, "x-car")) return "CarPhone";
  if (HasType(l, "x-radio")) return "RadioTel";
  if (HasType(l, "x-company")) return "Company";
  if (HasType(l, "work")) return "Landline.Business";
  if (HasType(l, "home")) return "Landline.Private";
  return "";  // the phone puts it in the first free slot
}

std::optional<DATE> ParseCardDate(const std::string& value) {
  std::string digits;
  for (char c : value) {
    if (c == 'T') break;
    if (c >= '0' && c <= '9') digits += c;
  }
  if (value.rfind("--", 0) == 0 || digits.size() < 8) return std::nullopt;  // no year
  return MakeDate(std::stoi(digits.substr(0, 4)), std::stoi(digits.substr(4, 2)),
                  std::stoi(digits.substr(6, 2)));
}

ParsedCard ReadCard(const std::vector<Line>& lines, const std::string& uidPrefix) {
  ParsedCard card;
  ContactRecord& c = card.contact;
  std::string fn;
  size_t assigned = 0;
  // The readings: the X-PHONETIC properties when the card has one (they carry any text);
  // else the SORT-AS of N, whose list cannot hold a reading with a comma.
  bool phonetic = false;
  std::string sortLast, sortFirst;
  for (const Line& l : lines) {
    const std::string& name = l.name;
    if (name == "VERSION" || name == "PRODID" || name == "REV" || name == "KIND") continue;
    if (name == "UID") {
      std::string v = TextValue(l.value);
      if (!uidPrefix.empty() && v.rfind(uidPrefix, 0) == 0) {
        try {
          c.id = std::stol(v.substr(uidPrefix.size()));
        } catch (...) {
        }
      }
    } else if (name == "FN") {
      fn = TextValue(l.value);
    } else if (name == "N") {
      std::vector<std::string> parts = SplitValue(l.value, ';');
      parts.resize(5);
      c.last = parts[0];
      c.first = parts[1];
      c.middle = parts[2];
      c.prefix = parts[3];
      c.suffix = parts[4];
      std::string sortAs = Param(l, "SORT-AS");
      if (!sortAs.empty()) {
        std::vector<std::string> sort = SplitValue(sortAs, ',');
        sortLast = sort[0];
        if (sort.size() > 1) sortFirst = sort[1];
      }
    } else if (name == "X-PHONETIC-FIRST-NAME") {
      c.readingFirst = TextValue(l.value);
      phonetic = true;
    } else if (name == "X-PHONETIC-LAST-NAME") {
      c.readingLast = TextValue(l.value);
      phonetic = true;
    } else if (name == "NICKNAME") {
      std::vector<std::string> nicks = SplitValue(l.value, ',');
      c.nick = nicks[0];
      if (nicks.size() > 1) card.unmapped.push_back(l.raw + " (one nickname is kept)");
    } else if (name == "ORG") {
      std::vector<std::string> parts = SplitValue(l.value, ';');
      c.company = parts[0];
      if (parts.size() > 1) c.department = parts[1];
    } else if (name == "TITLE") {
      c.jobTitle = TextValue(l.value);
    } else if (name == "TEL") {
      std::string number = TextValue(l.value);
      if (number.rfind("tel:", 0) == 0) number = number.substr(4);
      if (number.empty()) continue;  // an empty number, an empty address: nothing to keep
      std::string kind = Param(l, "X-PHONE-KIND");
      if (kind.empty()) kind = HasType(l, "x-assistant") ? "Assistant" : KindOfTypes(l);
      if (kind == "Assistant") {
        if (c.assistantPhone.empty()) {
          c.assistantPhone = number;
          continue;
        }
        kind.clear();
      }
      if (assigned >= 11) {
        card.unmapped.push_back(l.raw + " (the phone keeps eleven numbers)");
        continue;
      }
      ++assigned;
      c.phones.push_back({kind, number, Param(l, "X-SPEED-DIAL")});
    } else if (name == "EMAIL") {
      if (TextValue(l.value).empty()) continue;
      if (c.emails.size() < 3) {
        c.emails.push_back(TextValue(l.value));
      } else {
        card.unmapped.push_back(l.raw + " (the phone keeps three e-mail addresses)");
      }
    } else if (name == "URL") {
      if (c.url.empty()) {
        c.url = l.value;
      } else {
        card.unmapped.push_back(l.raw + " (the phone keeps one web page)");
      }
    } else if (name == "IMPP") {
      std::string im = l.value;  // a URI, as URL: written back as it stands
      if (im.rfind("im:", 0) == 0) im = im.substr(3);
      if (im.empty()) continue;
      if (c.messengers.size() < 3) {
        c.messengers.push_back(im);
      } else {
        card.unmapped.push_back(l.raw + " (the phone keeps three messenger addresses)");
      }
    } else if (name == "ADR") {
      std::vector<std::string> parts = SplitValue(l.value, ';');
      parts.resize(7);
      std::string kind = HasType(l, "home") ? "private" : HasType(l, "work") ? "business" : "other";
      bool taken = std::any_of(c.addresses.begin(), c.addresses.end(),
                               [&](const ContactAddress& a) { return a.kind == kind; });
      if (taken) {
        card.unmapped.push_back(l.raw + " (the phone keeps one address of each kind)");
        continue;
      }
      std::string street = parts[2];
      if (!parts[1].empty()) street = parts[1] + (street.empty() ? "" : "\n" + street);
      if (!parts[0].empty()) card.unmapped.push_back(l.raw + " (no post office box on the phone)");
      c.addresses.push_back({kind, street, parts[3], parts[4], parts[5], parts[6]});
    } else if (name == "BDAY" || name == "ANNIVERSARY") {
      std::optional<DATE> d = ParseCardDate(l.value);
      if (!d) {
        card.unmapped.push_back(l.raw + " (the phone needs a full date)");
        continue;
      }
      (name == "BDAY" ? c.birthday : c.anniversary) = d;
    } else if (name == "NOTE") {
      c.notes = c.notes.empty() ? TextValue(l.value) : c.notes + "\n" + TextValue(l.value);
    } else if (name == "CATEGORIES") {
      for (const std::string& cat : SplitValue(l.value, ','))
        if (!cat.empty()) card.categories.push_back(cat);
    } else if (name == "PHOTO") {
      // 4.0: a data URI; 3.0: ENCODING=b (or BASE64) with the bytes as the value.
      std::optional<std::vector<uint8_t>> bytes;
      const std::string encoding = Upper(Param(l, "ENCODING"));
      if (encoding == "B" || encoding == "BASE64") {
        bytes = FromBase64(l.value);
      } else if (l.value.rfind("data:", 0) == 0) {
        const size_t comma = l.value.find(',');
        const std::string head = l.value.substr(0, comma);
        if (comma != std::string::npos && head.size() >= 7 &&
            head.compare(head.size() - 7, 7, ";base64") == 0)
          bytes = FromBase64(std::string_view(l.value).substr(comma + 1));
      }
      if (bytes && !bytes->empty()) {
        card.photo = std::move(*bytes);
      } else {
        const std::string shown = l.raw.size() > 60 ? l.raw.substr(0, 57) + "..." : l.raw;
        card.unmapped.push_back(shown + " (the phone keeps embedded photos only)");
      }
    } else if (name == "RELATED" && Param(l, "VALUE") == "text") {
      std::string v = TextValue(l.value);
      if (HasType(l, "spouse")) {
        c.spouse = v;
      } else if (HasType(l, "child")) {
        c.children = v;
      } else if (HasType(l, "x-assistant")) {
        c.assistant = v;
      } else if (HasType(l, "x-manager")) {
        c.manager = v;
      } else {
        card.unmapped.push_back(l.raw);
      }
    } else if (name == "X-OFFICE-LOCATION") {
      c.office = TextValue(l.value);
    } else if (name == "X-RINGTONE") {
      c.ringtone = TextValue(l.value);
    } else {
      card.unmapped.push_back(l.raw.size() > 60 ? l.raw.substr(0, 57) + "..." : l.raw);
    }
  }
  if (!phonetic) {
    c.readingLast = sortLast;
    c.readingFirst = sortFirst;
  }
  // A formatted name that the other fields do not give is the phone's display name.
  ContactRecord withoutFn = c;
  if (!fn.empty() && fn != withoutFn.Title()) c.displayName = fn;
  return card;
}

}  // namespace

std::string ContactCard(const ContactRecord& c, const Phonebook& book, const std::string& uid) {
  std::string out;
  WriteCard(c, book, uid, &out);
  return out;
}

std::vector<ParsedCard> ParseVcards(const std::string& text, const std::string& uidPrefix) {
  std::vector<ParsedCard> cards;
  std::vector<Line> current;
  bool inside = false;
  for (const std::string& raw : Unfold(text)) {
    Line l;
    if (!ParseLine(raw, &l)) continue;
    if (l.name == "BEGIN" && Upper(l.value) == "VCARD") {
      inside = true;
      current.clear();
    } else if (l.name == "END" && Upper(l.value) == "VCARD") {
      if (inside) cards.push_back(ReadCard(current, uidPrefix));
      inside = false;
    } else if (inside) {
      current.push_back(std::move(l));
    }
  }
  if (cards.empty()) ThrowUsage("no vCard in the file");
  return cards;
}

namespace {

// A card's photo as a file of its own, removed when done.
class CardPhotoFile {
 public:
  explicit CardPhotoFile(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "qwbdcawm-photo-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    path_ = pattern;
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != bytes.size()) return;
    try {
      CheckPictureFile(path_);
      readable_ = true;
    } catch (const HostError&) {
    }
  }
  ~CardPhotoFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  CardPhotoFile(const CardPhotoFile&) = delete;
  CardPhotoFile& operator=(const CardPhotoFile&) = delete;

  bool readable() const { return readable_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool readable_ = false;
};

}  // namespace

size_t ImportVcards(Session& session, const std::string& path, std::ostream& report) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ThrowUsage("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  ExportContext context(ReadPhoneIdentity().key, std::time(nullptr));
  std::vector<ParsedCard> cards = ParseVcards(text.str(), context.UidPrefix() + "contact-");

  Phonebook book = ReadPhonebook(session);
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  auto groupId = [&](const std::string& name) -> ULONG {
    for (const GroupRecord& g : book.groups)
      if (g.name == name) return static_cast<ULONG>(g.id);
    ComPtr<IItem> group;
    CheckHr("NewItem", table->NewItem(DCADT_GROUP, SUID_NULL, SUID_NULL,
                                      group.ReleaseAndGetAddressOf()));
    PutText(group.Get(), u"NAME", name);
    SUID id = SUID_NULL;
    CheckHr("CreateItem(group " + name + ")", table->CreateItem(group.Get(), &id));
    book.groups.push_back({id, name});
    report << "created group " << id << " " << name << "\n";
    return static_cast<ULONG>(id);
  };

  size_t written = 0;
  for (ParsedCard& card : cards) {
    ContactRecord& c = card.contact;
    for (const std::string& cat : card.categories) c.groupIds.push_back(groupId(cat));
    auto existing = std::find_if(book.contacts.begin(), book.contacts.end(),
                                 [&](const ContactRecord& k) { return k.id == c.id; });
    bool known = c.id >= 0 && existing != book.contacts.end();
    // The card's photo goes to the phone through the component's picture path: from a file
    // that lives until the contact is written.
    CardPhotoFile photoFile(card.photo);
    if (!card.photo.empty()) {
      if (photoFile.readable()) {
        c.photoPath = photoFile.path();
      } else {
        report << "  not mapped: PHOTO (not a picture the phone can take)\n";
        if (known) c.photoPath = existing->photoPath;  // the phone keeps the photo it has
      }
    }
    ComPtr<IItem> item;
    CheckHr("NewItem", table->NewItem(DCADT_PHONEBOOK, known ? static_cast<SUID>(c.id) : SUID_NULL, SUID_NULL,
                                      item.ReleaseAndGetAddressOf()));
    ApplyContact(item.Get(), c);
    SUID id = SUID_NULL;
    if (known) {
      CheckHr("UpdateItem(" + std::to_string(c.id) + ")", table->UpdateItem(item.Get()));
      id = static_cast<SUID>(c.id);
      report << "updated " << id << " " << c.Title() << "\n";
    } else {
      CheckHr("CreateItem(" + c.Title() + ")", table->CreateItem(item.Get(), &id));
      report << "created " << id << " " << c.Title() << "\n";
    }
    for (const std::string& u : card.unmapped) report << "  not mapped: " << u << "\n";
    ++written;
  }
  return written;
}

namespace {

class ContactsExporter : public Exporter {
 public:
  std::string name() const override { return "contacts"; }
  ExportFormat format() const override { return ExportFormat::kVCard; }
  std::vector<ExportRecord> Read(Session& session, const ExportContext& context,
                                 Progress& progress) override {
    std::vector<ExportRecord> records;
    ReadEach(session, context, progress,
             [&](ExportRecord&& r) { records.push_back(std::move(r)); });
    return records;
  }
  // Each card is made as its contact arrives; the groups its CATEGORIES name come first in
  // the listing and the photo is read from the component's file of it, one contact at a time.
  void ReadEach(Session& session, const ExportContext& context, Progress& progress,
                const std::function<void(ExportRecord&&)>& sink) override {
    ForEachContact(session, [&](const ContactRecord& c, const Phonebook& book, ULONG n,
                                ULONG total) {
      std::string uid = context.Uid("contact", c.id);
      std::string card = ContactCard(c, book, uid);
      sink({std::move(uid), std::move(card), {}});
      progress.Update(n + 1, total);
    });
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeContactsExporter() { return std::make_unique<ContactsExporter>(); }

}  // namespace qwbhost
