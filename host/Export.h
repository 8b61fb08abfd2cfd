// `qwbdcawm export DIR`: every exporter writes its own file into DIR (tasks.ics; the other
// tables add theirs, contacts.vcf and so on, by adding an Exporter to the list).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/Session.h"

namespace qwbhost {

class Progress;

class Exporter {
 public:
  virtual ~Exporter() = default;
  // The name the --only option takes ("tasks").
  virtual std::string name() const = 0;
  // The file it writes inside the export folder ("tasks.ics").
  virtual std::string fileName() const = 0;
  // Reads the table through the session and writes `path`. Returns the records written.
  virtual size_t Export(Session& session, const std::filesystem::path& path,
                        Progress& progress) = 0;
};

// Every exporter, in the order the export runs them.
std::vector<std::unique_ptr<Exporter>> AllExporters();

// Throws a usage error when a name in `only` names no exporter.
void CheckExportNames(const std::vector<std::string>& only);

// Runs the exporters (all, or those named in `only`) into `dir`, creating it. Reports each
// file on stderr. Throws HostError on failure.
void RunExport(Session& session, const std::filesystem::path& dir,
               const std::vector<std::string>& only, bool showProgress);

}  // namespace qwbhost
