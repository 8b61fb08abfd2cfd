#include "host/VoiceMemosCommand.h"

#include <cstdio>
#include <functional>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <system_error>

#include "host/AmrWav.h"
#include "host/HostError.h"
#include "host/ItemColumns.h"
#include "host/Progress.h"
#include "host/Text.h"
#include "host/ListSink.h"
#include "wincompat/winbase.h"

namespace qwbhost {
namespace fs = std::filesystem;

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "name (2).amr" for the second file of a name.
std::string Numbered(const std::string& name, int n) {
  if (n <= 1) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  return stem + " (" + std::to_string(n) + ")" + ext;
}

// Writes `bytes` to `to`; throws HostError on failure.
void WriteBytes(const fs::path& to, const std::vector<uint8_t>& bytes) {
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw HostError(kExitFailure, "cannot write " + to.string());
}

std::vector<uint8_t> ReadBytes(const fs::path& from) {
  std::ifstream in(from, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// With `withWav`, a decoded "<name>.wav" beside each recording that decodes (a recording that
// does not is reported on stderr and kept as it is).
std::vector<fs::path> CopyInto(const std::vector<VoiceMemo>& memos, const fs::path& dir,
                               bool withWav = false) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw HostError(kExitFailure, "cannot create " + dir.string() + ": " + ec.message());
  std::vector<fs::path> written;
  std::set<std::string> used;
  for (const VoiceMemo& m : memos) {
    int n = 1;
    while (used.count(Lower(Numbered(m.name, n)))) ++n;
    const std::string name = Numbered(m.name, n);
    used.insert(Lower(name));
    const fs::path to = dir / name;
    if (m.localPath.empty()) {
      // An empty recording: the phone holds no sound, the copy is empty too.
      std::ofstream(to, std::ios::binary | std::ios::trunc);
    } else {
      fs::copy_file(m.localPath, to, fs::copy_options::overwrite_existing, ec);
      if (ec) throw HostError(kExitFailure, "cannot write " + to.string() + ": " + ec.message());
    }
    written.push_back(to);
    if (withWav && !m.localPath.empty()) {
      std::vector<uint8_t> wav;
      std::string error;
      if (AmrToWav(ReadBytes(to), &wav, &error)) {
        fs::path wavPath = to;
        wavPath.replace_extension(".wav");
        WriteBytes(wavPath, wav);
        written.push_back(wavPath);
      } else {
        std::fprintf(stderr, "qwbdcawm: %s: %s; kept as .amr only\n", name.c_str(),
                     error.c_str());
      }
    }
  }
  return written;
}

}  // namespace

void PrepareVoiceMemoCache() {
  WCHAR buffer[4097] = {};
  const DWORD n = GetEnvironmentVariableW(u"APPDATA", buffer, 4096);
  if (n == 0 || n > 4096) return;
  std::error_code ec;
  fs::create_directories(fs::path(Utf8(std::u16string(buffer, n))) / "Tolvane" / "Orvanta", ec);
}

namespace {

// Each voice note as the listing brings it (its recording copied into the component's cache).
void ForEachVoiceMemo(Session& session, const std::function<void(const VoiceMemo&)>& onMemo) {
  PrepareVoiceMemoCache();
  ComPtr<IDataTable> table = session.Table(DTID_VOICEMEMO);
  try {
    ForEachItem(table.Get(), "voicememos", [&](IItem* item, ULONG n, ULONG) {
      VoiceMemo m;
      m.id = Integer(item, u"SUID").value_or(static_cast<LONG>(n));
      m.localPath = Text(item, u"FILE_PATH");
      m.name = BaseName(m.localPath);
      m.created = Date(item, u"CREATE_DATE").value_or(0);
      std::error_code ec;
      if (!m.localPath.empty()) {
        const auto size = fs::file_size(m.localPath, ec);
        if (!ec) m.size = size;
        // The component lists an empty recording without copying it.
        if (ec) m.localPath.clear();
      }
      onMemo(m);
    });
  } catch (const HostError& e) {
    if (std::string(e.what()).find("ListItemsAllBegin") == std::string::npos) throw;
    throw HostError(e.exitCode(), std::string(e.what()) +
                                      " (a phone on which no voice note was ever recorded has "
                                      "no AudioNote folder)");
  }
}

}  // namespace

std::vector<VoiceMemo> ReadVoiceMemos(Session& session) {
  std::vector<VoiceMemo> memos;
  ForEachVoiceMemo(session, [&](const VoiceMemo& m) { memos.push_back(m); });
  return memos;
}

nlohmann::json VoiceMemoJson(const VoiceMemo& m) {
  return {{"id", m.id},
          {"name", m.name},
          {"created", m.created ? nlohmann::json(FormatIso(m.created)) : nlohmann::json()},
          {"size", m.size},
          {"cachePath", m.localPath.empty() ? nlohmann::json() : nlohmann::json(m.localPath)}};
}

void ListVoiceMemos(Session& session, bool json, std::ostream& out) {
  ListSink sink(out, json, TextTable({"ID", "CREATED", "SIZE", "NAME"}));
  ForEachVoiceMemo(session, [&](const VoiceMemo& m) {
    sink.Add([&] { return VoiceMemoJson(m); },
             [&] {
               return std::vector<std::string>{std::to_string(m.id),
                                               m.created ? FormatMinute(m.created) : "",
                                               std::to_string(m.size), m.name};
             });
  });
  sink.Finish();
}

std::vector<fs::path> PullVoiceMemos(Session& session, const fs::path& dir) {
  return CopyInto(ReadVoiceMemos(session), dir);
}

size_t ExportVoiceMemos(Session& session, const fs::path& dir, Progress& progress) {
  const std::vector<VoiceMemo> memos = ReadVoiceMemos(session);
  progress.Update(static_cast<unsigned long>(memos.size()),
                  static_cast<unsigned long>(memos.size()));
  size_t n = 0;
  for (const fs::path& p : CopyInto(memos, dir / "voice-memos", HaveAmrDecoder()))
    n += p.extension() != ".wav";
  return n;
}

}  // namespace qwbhost
