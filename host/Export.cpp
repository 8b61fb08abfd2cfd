#include "host/Export.h"

#include <cctype>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <system_error>

#include "host/ContactsVcf.h"
#include "host/ContentLines.h"
#include "host/FilesCommand.h"
#include "host/HostError.h"
#include "host/InfoCommand.h"
#include "host/MessagesCommand.h"
#include "host/PhoneIdentity.h"
#include "host/Progress.h"
#include "host/CalendarIcs.h"
#include "host/TasksIcs.h"
#include "host/VoiceMemosCommand.h"
#include "host/Text.h"

namespace qwbhost {
namespace fs = std::filesystem;

std::vector<std::unique_ptr<Exporter>> AllExporters() {
  std::vector<std::unique_ptr<Exporter>> all;
  all.push_back(MakeContactsExporter());
  all.push_back(MakeTasksExporter());
  all.push_back(MakeSimExporter());
  all.push_back(MakeCalendarExporter());
  return all;
}

ExportContext::ExportContext(std::string phoneKey, std::time_t now)
    : prefix_("qwbdcawm-" + phoneKey + "-"), stamp_(UtcDateTimeValue(now)) {}

std::string ExportContext::Uid(std::string_view kind, long id) const {
  return prefix_ + std::string(kind) + "-" + std::to_string(id);
}

const char* ExtensionOf(ExportFormat format) {
  return format == ExportFormat::kVCard ? ".vcf" : ".ics";
}

namespace {

const char kCalendarHead[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//QWBDCAWM//qwbdcawm//EN\r\n";
const char kCalendarTail[] = "END:VCALENDAR\r\n";

// The property name of an unfolded content line, upper-cased; empty for continuation lines.
std::string NameOf(std::string_view line) {
  if (line.empty() || line[0] == ' ' || line[0] == '\t') return {};
  size_t end = line.find_first_of(":;");
  std::string name(line.substr(0, end == std::string_view::npos ? line.size() : end));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::vector<std::string_view> LinesWithoutStamps(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string name = NameOf(line);
    if (name != "DTSTAMP" && name != "REV") out.push_back(line);
    start = end + 1;
  }
  return out;
}

bool ReadWhole(const fs::path& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *text = ss.str();
  return true;
}

}  // namespace

void WriteWhole(const fs::path& path, const std::string& text) {
  std::string name = ".";
  name += path.filename().string();
  name += ".tmp";
  fs::path tmp = path.parent_path() / name;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw HostError(kExitFailure, "cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw HostError(kExitFailure, "cannot write " + path.string());
  }
}


void Exporter::ReadEach(Session& session, const ExportContext& context, Progress& progress,
                        const std::function<void(ExportRecord&&)>& sink) {
  for (ExportRecord& r : Read(session, context, progress)) sink(std::move(r));
}

namespace {

// A hidden scratch file next to `path`: ".<name><suffix>".
fs::path Beside(const fs::path& path, const char* suffix) {
  std::string name = ".";
  name += path.filename().string();
  name += suffix;
  return path.parent_path() / name;
}

}  // namespace

ScratchDocument::ScratchDocument(fs::path path)
    : path_(std::move(path)), scratch_(Beside(path_, ".body.tmp")) {
  records_.open(scratch_, std::ios::binary | std::ios::trunc);
  if (!records_) throw HostError(kExitFailure, "cannot write " + scratch_.string());
}

ScratchDocument::~ScratchDocument() {
  std::error_code ec;
  fs::remove(scratch_, ec);
}

void ScratchDocument::Finish(std::string_view head, std::string_view tail) {
  const bool any = records_.tellp() > 0;
  records_.close();
  if (!records_) throw HostError(kExitFailure, "cannot write " + scratch_.string());
  fs::path tmp = Beside(path_, ".tmp");
  {
    std::ofstream doc(tmp, std::ios::binary | std::ios::trunc);
    doc << head;
    if (any) {
      std::ifstream in(scratch_, std::ios::binary);
      doc << in.rdbuf();
    }
    doc << tail;
    doc.close();
    if (!doc) throw HostError(kExitFailure, "cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, path_, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw HostError(kExitFailure, "cannot write " + path_.string());
  }
}

namespace {

// One document (what JoinRecords makes) written as its records arrive: only the distinct
// VTIMEZONEs, which go before every record, stay in memory.
class DocumentWriter {
 public:
  DocumentWriter(fs::path path, ExportFormat format) : document_(std::move(path)), format_(format) {}

  void Add(const ExportRecord& r) {
    if (!r.timezone.empty() && std::find(zones_.begin(), zones_.end(), r.timezone) == zones_.end())
      zones_.push_back(r.timezone);
    document_.records() << r.body;
  }

  void Finish() {
    std::string head = format_ == ExportFormat::kICalendar ? kCalendarHead : "";
    for (const std::string& z : zones_) head += z;
    document_.Finish(head, format_ == ExportFormat::kICalendar ? kCalendarTail : "");
  }

 private:
  ScratchDocument document_;
  ExportFormat format_;
  std::vector<std::string> zones_;
};

}  // namespace

std::string JoinRecords(ExportFormat format, const std::vector<ExportRecord>& records) {
  std::string out = format == ExportFormat::kICalendar ? kCalendarHead : "";
  std::vector<const std::string*> zones;
  for (const ExportRecord& r : records) {
    if (r.timezone.empty() ||
        std::any_of(zones.begin(), zones.end(), [&](auto* z) { return *z == r.timezone; }))
      continue;
    zones.push_back(&r.timezone);
    out += r.timezone;
  }
  for (const ExportRecord& r : records) out += r.body;
  if (format == ExportFormat::kICalendar) out += kCalendarTail;
  return out;
}

std::string RecordFile(ExportFormat format, const ExportRecord& record) {
  if (format == ExportFormat::kVCard) return record.body;
  return kCalendarHead + record.timezone + record.body + kCalendarTail;
}

bool SameApartFromStamps(std::string_view a, std::string_view b) {
  return LinesWithoutStamps(a) == LinesWithoutStamps(b);
}

std::string VdirFileName(std::string_view uid, ExportFormat format) {
  std::string out;
  for (size_t i = 0; i < uid.size(); ++i) {
    auto c = static_cast<unsigned char>(uid[i]);
    bool keep =
        std::isalnum(c) || c == '-' || c == '_' || c == '@' || c == '+' || (c == '.' && i > 0);
    if (keep) {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out + ExtensionOf(format);
}

VdirCollection::VdirCollection(fs::path dir, ExportFormat format, std::string ownPrefix)
    : dir_(std::move(dir)), format_(format), ownPrefix_(std::move(ownPrefix)) {
  std::error_code ec;
  fs::create_directories(dir_, ec);
  if (ec || !fs::is_directory(dir_))
    throw HostError(kExitFailure, "cannot create " + dir_.string() + ": " + ec.message());
}

void VdirCollection::Put(const ExportRecord& record) {
  std::string name = VdirFileName(record.uid, format_);
  written_.push_back(name);
  fs::path path = dir_ / name;
  std::string text = RecordFile(format_, record), old;
  bool existed = ReadWhole(path, &old);
  if (existed && SameApartFromStamps(old, text)) {
    ++counts_.unchanged;
    return;
  }
  WriteWhole(path, text);
  ++(existed ? counts_.changed : counts_.added);
}

VdirCollection::Counts VdirCollection::Finish() {
  std::set<std::string> keep(written_.begin(), written_.end());
  // The UID prefix is made of characters VdirFileName keeps, so own files start with it too.
  const std::string ext = ExtensionOf(format_);
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir_, ec)) {
    std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name.rfind(ownPrefix_, 0) != 0 || e.path().extension() != ext ||
        keep.count(name))
      continue;
    if (fs::remove(e.path(), ec)) ++counts_.removed;
  }
  if (ec) throw HostError(kExitFailure, "cannot update " + dir_.string() + ": " + ec.message());
  return counts_;
}

namespace {

// The exports that are documents or files of their own rather than records: each reads its
// tables and writes into DIR, returning the line to report.
struct DocumentStep {
  const char* name;
  const char* what;  // for the progress bar
  std::function<std::string(Session&, const fs::path&, Progress&)> run;
  // A failure of this step is reported and the export goes on (the phone may simply not
  // have what it reads).
  bool optional;
};

const std::vector<DocumentStep>& DocumentSteps() {
  static const std::vector<DocumentStep> steps = {
      {kMessagesExportName, "messages",
       [](Session& session, const fs::path& dir, Progress& progress) {
         size_t n = ExportMessages(session, dir, progress);
         return "wrote " + std::to_string(n) + " messages to " + (dir / "messages.xml").string();
       },
       false},
      {"voice-memos", "voice memos",
       [](Session& session, const fs::path& dir, Progress& progress) {
         size_t n = ExportVoiceMemos(session, dir, progress);
         return "wrote " + std::to_string(n) + " voice memos to " +
                (dir / "voice-memos").string();
       },
       true},
      {"device-info", "device information",
       [](Session& session, const fs::path& dir, Progress&) {
         WriteWhole(dir / "device-info.json", DeviceInfo(session).dump(2) + "\n");
         return "wrote " + (dir / "device-info.json").string();
       },
       false},
  };
  return steps;
}

}  // namespace

void CheckExportNames(const std::vector<std::string>& only) {
  std::vector<std::unique_ptr<Exporter>> exporters = AllExporters();
  for (const std::string& name : only) {
    bool known = false;
    for (const auto& e : exporters) known = known || e->name() == name;
    for (const DocumentStep& step : DocumentSteps()) known = known || name == step.name;
    for (const char* folder : kFolderExportNames) known = known || name == folder;
    if (!known) ThrowUsage("export: unknown table '" + name + "'");
  }
}

void RunExport(Session& session, const ExportOptions& options) {
  CheckExportNames(options.only);
  std::vector<std::unique_ptr<Exporter>> exporters = AllExporters();
  std::error_code ec;
  fs::create_directories(options.dir, ec);
  if (ec || !fs::is_directory(options.dir))
    throw HostError(kExitFailure, "cannot create " + options.dir.string() + ": " + ec.message());

  PhoneIdentity phone = ReadPhoneIdentity();
  if (!phone.unique)
    std::fprintf(stderr,
                 "qwbdcawm: the phone keeps no device GUID; its UIDs are made from its %s\n",
                 phone.source.c_str());
  ExportContext context(phone.key, std::time(nullptr));

  for (const auto& e : exporters) {
    if (!options.only.empty()) {
      bool wanted = false;
      for (const std::string& name : options.only) wanted = wanted || e->name() == name;
      if (!wanted) continue;
    }
    // Each record is written as it is read. A vdir collection removes the files of records
    // that are gone only once the whole table has been read.
    Progress progress("Exporting " + e->name(), options.showProgress);
    size_t count = 0;
    if (options.vdir) {
      fs::path dir = options.dir / e->name();
      VdirCollection collection(dir, e->format(), context.UidPrefix());
      e->ReadEach(session, context, progress, [&](ExportRecord&& r) {
        collection.Put(r);
        ++count;
      });
      progress.Finish();
      VdirCollection::Counts n = collection.Finish();
      std::fprintf(stderr, "%zu %s in %s: %zu added, %zu changed, %zu unchanged, %zu removed\n",
                   count, e->name().c_str(), dir.string().c_str(), n.added, n.changed,
                   n.unchanged, n.removed);
    } else {
      fs::path path = options.dir / (e->name() + ExtensionOf(e->format()));
      DocumentWriter document(path, e->format());
      e->ReadEach(session, context, progress, [&](ExportRecord&& r) {
        document.Add(r);
        ++count;
      });
      progress.Finish();
      document.Finish();
      std::fprintf(stderr, "wrote %zu %s to %s\n", count, e->name().c_str(),
                   path.string().c_str());
    }
  }
  // The documents of their own (messages.xml, voice-memos/, device-info.json), vdir or not.
  for (const DocumentStep& step : DocumentSteps()) {
    bool wanted = options.only.empty();
    for (const std::string& name : options.only) wanted = wanted || name == step.name;
    if (!wanted) continue;
    Progress progress(std::string("Exporting ") + step.what, options.showProgress);
    try {
      const std::string done = step.run(session, options.dir, progress);
      progress.Finish();
      std::fprintf(stderr, "%s\n", done.c_str());
    } catch (const HostError& e) {
      progress.Finish();
      if (!step.optional) throw;
      std::fprintf(stderr, "qwbdcawm: %s: %s; none exported\n", step.what, e.what());
    }
  }
  // The phone's documents and pictures, copied through the file table as the backup does.
  for (const char* folder : kFolderExportNames) {
    bool wanted = options.only.empty();
    for (const std::string& name : options.only) wanted = wanted || name == folder;
    if (wanted) ExportFolder(session, folder, options.dir, options.showProgress);
  }
}

}  // namespace qwbhost
