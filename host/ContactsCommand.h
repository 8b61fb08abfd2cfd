// `qwbdcawm contacts list|show|add|update|delete` and `qwbdcawm groups list|add|rename|delete`.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/ContactRecord.h"
#include "host/Session.h"

namespace qwbhost {

// The field options of add and update, unchecked. A given option replaces the field; an
// empty value clears it.
struct ContactOptions {
  std::optional<std::string> first, last, middle, nick, display, company, jobTitle, department,
      notes, url, birthday, anniversary, readingFirst, readingLast;
  std::optional<std::string> mobile, home, work, fax;  // "NUMBER" or "NUMBER@DIAL"
  std::vector<std::string> emails, groups;
  bool clearEmails = false, clearGroups = false;
};

// Checks the options (dates, speed dials); usage errors throw HostError(kExitUsage).
void CheckContactOptions(const ContactOptions& o);

nlohmann::json ContactJson(const ContactRecord& c, const Phonebook& book);

void ListContacts(Session& session, bool json, std::ostream& out);
void ShowContact(Session& session, LONG id, std::ostream& out);
ContactRecord AddContact(Session& session, const ContactOptions& o);
ContactRecord UpdateContact(Session& session, LONG id, const ContactOptions& o);
void DeleteContact(Session& session, LONG id);
// Gives contact `id` the picture in `file` (JPEG, PNG, GIF, BMP or WebP; the component
// reduces one larger than 108 x 144). A file that is not a readable picture is refused before
// anything is written, so the contact keeps its photo.
ContactRecord SetContactPhoto(Session& session, LONG id, const std::string& file);
ContactRecord ClearContactPhoto(Session& session, LONG id);
// Throws a usage error unless `file` is a picture file the component can read.
void CheckPictureFile(const std::string& file);

void ListGroups(Session& session, bool json, std::ostream& out);
LONG AddGroup(Session& session, const std::string& name);
void RenameGroup(Session& session, LONG id, const std::string& name);
void DeleteGroup(Session& session, LONG id);

}  // namespace qwbhost
