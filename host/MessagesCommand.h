// `qwbdcawm sms list|send|save` and `qwbdcawm sim list|add|update|delete|info`, and the
// exporters of messages.xml (the SMS backup form Android's backup tools import) and
// sim-contacts.vcf.
#pragma once

#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Session.h"

namespace qwbhost {

class Exporter;

// ---- SMS -------------------------------------------------------------------------------------

struct SmsRecord {
  LONG id = 0;
  std::string folder, sender, receiver, content, path;
  std::optional<DATE> date;  // PC local time
};
SmsRecord ReadSms(IItem* item);
nlohmann::json SmsJson(const SmsRecord& m);
std::string SmsTable(const std::vector<SmsRecord>& messages);
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

// messages.xml: <smses count=N> with one <sms> per message; dates in ms since the epoch,
// type 1 inbox, 2 sent, 3 draft, 4 outbox. `toEpochMs` turns a local date into UTC ms.
std::string SmsBackupXml(const std::vector<SmsRecord>& messages);

// ---- SIM phonebook ---------------------------------------------------------------------------

struct SimRecord {
  LONG id = 0;
  std::string name, reading;
  std::vector<std::string> numbers;
  std::string email;
};
SimRecord ReadSim(IItem* item);
nlohmann::json SimJson(const SimRecord& c);
std::string SimTable(const std::vector<SimRecord>& contacts);

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

// sim-contacts.vcf: one vCard 3.0 per SIM contact.
std::string SimVCards(const std::vector<SimRecord>& contacts);

std::unique_ptr<Exporter> MakeSmsExporter();
std::unique_ptr<Exporter> MakeSimExporter();

}  // namespace qwbhost
