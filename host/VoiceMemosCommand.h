// `qwbdcawm voicememos list [--json]` and `voicememos pull DIR`: the phone's voice notes
// through the voice memo table. Listing makes the component copy every recording into its
// cache folder (<application data>/Tolvane/Orvanta/Voice_Memo_WM); pulling copies those
// copies into DIR. The export writes them into DIR/voice-memos/.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/Session.h"

namespace qwbhost {

class Progress;

struct VoiceMemo {
  long id = 0;
  std::string name;       // the recording's file name, as the phone has it
  std::string localPath;  // the component's copy ("" when the recording was empty)
  double created = 0;     // OLE date, as the phone keeps it
  uint64_t size = 0;      // of the copy
};

// Makes the folder the component creates its cache folder in (it creates one level only).
void PrepareVoiceMemoCache();
std::vector<VoiceMemo> ReadVoiceMemos(Session& session);
nlohmann::json VoiceMemoJson(const VoiceMemo& m);
void ListVoiceMemos(Session& session, bool json, std::ostream& out);
// Copies every recording into `dir` (created when missing) under its own name; returns the
// files written. Names that repeat (the card's and main memory's) get " (2)", " (3)", ...
std::vector<std::filesystem::path> PullVoiceMemos(Session& session,
                                                  const std::filesystem::path& dir);
// The export's step: DIR/voice-memos/<name>.amr and, when this build has the AMR-NB decoder,
// <name>.wav beside each; returns the count of recordings.
size_t ExportVoiceMemos(Session& session, const std::filesystem::path& dir, Progress& progress);

}  // namespace qwbhost
