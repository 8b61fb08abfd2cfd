#include "host/Export.h"

#include "host/FilesCommand.h"

#include <cstdio>
#include <system_error>

#include "host/HostError.h"
#include "host/Progress.h"
#include "host/TasksIcs.h"

namespace qwbhost {

std::vector<std::unique_ptr<Exporter>> AllExporters() {
  std::vector<std::unique_ptr<Exporter>> all;
  all.push_back(MakeTasksExporter());
  all.push_back(MakeDocumentsExporter());
  all.push_back(MakePicturesExporter());
  return all;
}

void CheckExportNames(const std::vector<std::string>& only) {
  std::vector<std::unique_ptr<Exporter>> exporters = AllExporters();
  for (const std::string& name : only) {
    bool known = false;
    for (const auto& e : exporters) known = known || e->name() == name;
    if (!known) ThrowUsage("export: unknown table '" + name + "'");
  }
}

void RunExport(Session& session, const std::filesystem::path& dir,
               const std::vector<std::string>& only, bool showProgress) {
  CheckExportNames(only);
  std::vector<std::unique_ptr<Exporter>> exporters = AllExporters();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir))
    throw HostError(kExitFailure, "cannot create " + dir.string() + ": " + ec.message());
  for (const auto& e : exporters) {
    if (!only.empty()) {
      bool wanted = false;
      for (const std::string& name : only) wanted = wanted || e->name() == name;
      if (!wanted) continue;
    }
    std::filesystem::path path = dir / e->fileName();
    Progress progress("Exporting " + e->name(), showProgress);
    size_t n = e->Export(session, path, progress);
    progress.Finish();
    std::fprintf(stderr, "wrote %zu %s to %s\n", n, e->name().c_str(), path.string().c_str());
  }
}

}  // namespace qwbhost
