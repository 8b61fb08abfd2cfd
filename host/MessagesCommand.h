// `qwbdcawm sms list|send|save` and `qwbdcawm sim list|add|update|delete|info`, and the
// exporters of messages.xml (the SMS backup form Android's backup tools import) and
// sim-contacts.vcf.
#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Session.h"

namespace qwbhost {

class Exporter;
class Progress;

// ---- SMS -------------------------------------------------------------------------------------

struct SmsRecord {
  LONG id = 0;
  std::string folder, sender, receiver, content, path;
  std::optional<DATE> date;  // PC local time
};
SmsRecord ReadSms(IItem* item);
nlohmann::json SmsJson(const SmsRecord& m);
// "Inbox", "Draft", "Outbox" or "Sent" for a folder name in any case; usage error otherwise.
std::string CheckFolder(const std::string& folder);

std::vector<SmsRecord> ReadAllSms(Session& session);
void ListSms(Session& session, const std::optional<std::string>& folder, bool json,
             std::ostream& out);
// Sends a message; the phone files it in Sent.
void SendSms(Session& session, const std::string& to, const std::string& text);
// Saves a message into a folder; false when the phone did not keep it (only some models
// keep messages saved from the PC).
bool SaveSms(Session& session, const std::string& folder, const std::optional<std::string>& to,
             const std::optional<std::string>& from, const std::string& text,
             std::optional<DATE> date);

// ---- MMS (the backup below holds them too) ------------------------------------------------------------------------------------

struct MmsRecord {
  LONG id = 0;
  unsigned long position = 0;  // MESSAGE_ID: the message's place in the listing
  std::string folder, subject, sender, receiver;
  std::optional<DATE> date;
  unsigned long size = 0;
  std::string bodyFile;  // ATTACHMENT_FILE_PATH after ReadItem
};
MmsRecord ReadMms(IItem* item);
nlohmann::json MmsJson(const MmsRecord& m);
void ListMms(Session& session, bool json, std::ostream& out);
// Writes message `id`'s body into `dir` (ID.mms) and, when it is a multipart body, each part
// beside it (ID-NAME). Returns the files written.
std::vector<std::string> GetMms(Session& session, LONG id, const std::string& dir);
// Sends the body in `file` (a multipart message) to `to`.
void SendMms(Session& session, const std::string& to, const std::string& file,
             const std::optional<std::string>& subject);

// A multimedia message for the backup: its columns and the body the phone holds.
struct MmsBackup {
  MmsRecord record;
  std::vector<uint8_t> body;
};

// messages.xml: <smses count=N> with one <sms> per text message and one <mms> per multimedia
// message (its parts with content type, name and data in base64); dates in ms since the
// epoch, type (msg_box for MMS) 1 inbox, 2 sent, 3 draft, 4 outbox.
//
// Written message by message: each element goes to `out` as it is added, in the layout of
// the whole document indented by two spaces; Head() (the declaration and the opening element
// with the count) and Tail() come once every message is in.
class MessagesXml {
 public:
  explicit MessagesXml(std::ostream& out) : out_(out) {}
  void Add(const SmsRecord& m);
  void Add(const MmsRecord& m, const std::vector<uint8_t>& body);
  size_t count() const { return count_; }
  std::string Head() const;
  std::string Tail() const;

 private:
  std::ostream& out_;
  size_t count_ = 0;
};

// The whole document at once.
std::string SmsBackupXml(const std::vector<SmsRecord>& messages,
                         const std::vector<MmsBackup>& mms = {});

// ---- SIM phonebook ---------------------------------------------------------------------------

struct SimRecord {
  LONG id = 0;
  std::string name, reading;
  std::vector<std::string> numbers;
  std::string email;
};
SimRecord ReadSim(IItem* item);
nlohmann::json SimJson(const SimRecord& c);

struct SimEdit {
  std::optional<std::string> name, email;
  std::optional<std::vector<std::string>> numbers;
};

std::vector<SimRecord> ReadAllSim(Session& session);
void ListSim(Session& session, bool json, std::ostream& out);
SimRecord AddSim(Session& session, const SimEdit& edit);
SimRecord UpdateSim(Session& session, LONG id, const SimEdit& edit);
void DeleteSim(Session& session, LONG id);
// Used positions, and what the phone's device information says of the card's capacity.
void SimInfo(Session& session, bool json, std::ostream& out);

// One SIM contact as a vCard 3.0 (sim-contacts.vcf holds one per contact).
std::string SimVCard(const SimRecord& c, const std::string& uid, const std::string& stamp);
std::unique_ptr<Exporter> MakeSimExporter();

// The name `export --only` takes for messages.xml.
inline constexpr const char* kMessagesExportName = "sms";
// Writes DIR/messages.xml (text and multimedia messages) and the raw MMS bodies in DIR/mms/.
// Returns the messages written.
size_t ExportMessages(Session& session, const std::filesystem::path& dir, Progress& progress);

}  // namespace qwbhost
