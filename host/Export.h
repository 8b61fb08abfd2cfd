// `qwbdcawm export DIR` and `qwbdcawm export --vdir DIR`.
//
// Each table that exports is an Exporter: it reads its table and returns one ExportRecord per
// item, the item's content lines (a VTODO or VEVENT, or a VCARD) written with ContentLines
// and its UID from ExportContext::Uid. This file does the rest, the same for every table:
//   - DIR/<name>.ics or DIR/<name>.vcf: every record in one file;
//   - --vdir: DIR/<name>/ holds one file per record, named from its UID (the layout calendar,
//     contact and task programs and sync tools read). Re-exporting rewrites only records that
//     changed, leaves unchanged files alone (same bytes, same modification time) and removes
//     the files of this phone's records that are gone. Files of other phones or programs in
//     the folder are never touched.
// Then the phone's files: DIR/documents (My Documents) and DIR/pictures (My Pictures and the
// cards' camera folders), copied through the file table with a progress bar, unchanged files
// left alone on a re-export (FilesCommand.h, ExportFolder).
// A new table plugs in by adding its Exporter to AllExporters().
#pragma once

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/Session.h"

namespace qwbhost {

class Progress;

enum class ExportFormat { kICalendar, kVCard };

struct ExportRecord {
  std::string uid;
  // The item's content lines, CRLF-ended: BEGIN:VTODO ... END:VTODO (iCalendar, without the
  // VCALENDAR around it) or BEGIN:VCARD ... END:VCARD.
  std::string body;
  // iCalendar: the VTIMEZONE component its TZIDs name (empty when none). A document holds
  // each distinct one once, before the records.
  std::string timezone;
};

// What every exporter is handed.
class ExportContext {
 public:
  // phoneKey: PhoneIdentity::key. now: the time of the export (DTSTAMP, REV).
  ExportContext(std::string phoneKey, std::time_t now);

  // The UID of a record: "qwbdcawm-<phone key>-<kind>-<id>", e.g.
  // "qwbdcawm-5b8e2a4c-1f3d-4e6a-9b7c-0d1e2f3a4b5c-task-12". Stable for one phone's record,
  // different between phones. kind names the table's records ("task", "event", "contact").
  std::string Uid(std::string_view kind, long id) const;
  // The start every UID of this phone shares.
  const std::string& UidPrefix() const { return prefix_; }
  // The export time as an iCalendar UTC date-time ("20261207T003000Z"), for DTSTAMP and REV.
  const std::string& Stamp() const { return stamp_; }

 private:
  std::string prefix_, stamp_;
};

class Exporter {
 public:
  virtual ~Exporter() = default;
  // The name --only takes and the vdir folder ("tasks", "calendar", "contacts").
  virtual std::string name() const = 0;
  virtual ExportFormat format() const = 0;
  // Reads the table through the session: one record per item, in the table's order.
  virtual std::vector<ExportRecord> Read(Session& session, const ExportContext& context,
                                         Progress& progress) = 0;
  // The same records, each handed to `sink` as it is read; the export writes them this way,
  // so that an exporter which overrides it holds no more than one record at a time. By
  // default it hands on what Read returns.
  virtual void ReadEach(Session& session, const ExportContext& context, Progress& progress,
                        const std::function<void(ExportRecord&&)>& sink);
};

// ".ics" or ".vcf".
const char* ExtensionOf(ExportFormat format);
// Every record in one document (a VCALENDAR around the components; vCards one after another).
std::string JoinRecords(ExportFormat format, const std::vector<ExportRecord>& records);
// One record as a file of its own.
std::string RecordFile(ExportFormat format, const ExportRecord& record);

// Whether two exports of an item say the same, the lines that only tell the time of the
// export (DTSTAMP, REV) left aside.
bool SameApartFromStamps(std::string_view a, std::string_view b);

// The file name of a UID in a vdir: letters, digits and "-_.@+" are kept, anything else is
// written %XX; a leading dot is escaped too.
std::string VdirFileName(std::string_view uid, ExportFormat format);

// One vdir collection folder, written record by record, then finished.
class VdirCollection {
 public:
  struct Counts {
    size_t added = 0, changed = 0, unchanged = 0, removed = 0;
  };
  // Creates `dir` when missing. `ownPrefix`: the UID start of the records this export owns;
  // Finish() removes only files named from such UIDs.
  VdirCollection(std::filesystem::path dir, ExportFormat format, std::string ownPrefix);
  // Writes the record's file (through a temporary file and a rename) unless it says the same.
  void Put(const ExportRecord& record);
  // Removes the files of own records not Put since construction.
  Counts Finish();

 private:
  std::filesystem::path dir_;
  ExportFormat format_;
  std::string ownPrefix_;
  std::vector<std::string> written_;
  Counts counts_;
};

// Writes `text` to `path` through a temporary file in the same folder and a rename, so that
// a reader never sees half a file; HostError when it cannot.
void WriteWhole(const std::filesystem::path& path, const std::string& text);

// A document written as its records arrive whose head is known only once all of them are in
// (a count, the distinct time zones): the records go to a hidden scratch file beside `path`
// and Finish writes the head, the records and the tail into a temporary file renamed into
// place, so that memory stays flat and a reader never sees half a document. The scratch file
// is removed either way. HostError when a file cannot be written.
class ScratchDocument {
 public:
  explicit ScratchDocument(std::filesystem::path path);
  ~ScratchDocument();
  ScratchDocument(const ScratchDocument&) = delete;
  ScratchDocument& operator=(const ScratchDocument&) = delete;

  std::ostream& records() { return records_; }
  void Finish(std::string_view head, std::string_view tail);

 private:
  std::filesystem::path path_, scratch_;
  std::ofstream records_;
};

// Every exporter, in the order the export runs them.
std::vector<std::unique_ptr<Exporter>> AllExporters();

// Throws a usage error when a name in `only` names no exporter.
void CheckExportNames(const std::vector<std::string>& only);

struct ExportOptions {
  std::filesystem::path dir;
  bool vdir = false;
  std::vector<std::string> only;  // empty: every table
  bool showProgress = false;
};

// Runs the exporters into options.dir, creating it; reports each table on stderr. Throws
// HostError on failure.
void RunExport(Session& session, const ExportOptions& options);

}  // namespace qwbhost
