// The message tables' mapping between the phone's message records and the message columns,
// and the naming of folders and model families the SMS and MMS tables share.
//
//  column         device property (kind 4)        to column                 to device
//  SENDER         PR_SENDER_EMAIL_ADDRESS        as is                     when not empty
//  RECEIVER       PR_EMAIL_ADDRESS               as is                     when not empty
//  CONTENT        PR_SUBJECT                     as is                     when not empty
//  CREATE_DATE    PR_MESSAGE_DELIVERY_TIME       UTC -> PC local           PC local -> UTC, also
//                                                                          PR_LAST_MODIFICATION_TIME
//  FOLDER         (the request's folder code)    code -> name              name -> code (2 else)
//  SUID, MODE "Home", TYPE "SMS", MY_FOLDER -1   fixed
#pragma once

#include <string>
#include <string_view>

#include "core/FieldMap.h"
#include "link/MessageRecords.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

// How a phone lists its messages, by model type.
enum class MessageFamily {
  kStream,   // 0 olDomestic, 3 olDomesticSKT: stream message records, folders 1 and 4
  kId,       // 4 olDomesticLGT, 5 olDomesticKTF: message ids, folders 1, 2 and 4
  kEntryId,  // 1 olInternational, 6 olInternational_SP: entry IDs, folders 1 to 4, SIM
  kNone,     // 2 olMID: no store listing, SIM messages only
};
MessageFamily MessageFamilyOf(int modelType);

// 2 "Draft", 3 "Outbox", 4 "Sent", every other code "Inbox".
const char16_t* FolderName(DWORD code);
// The folder code a text message is saved or sent with: "Inbox" 1, "Outbox" 3, "Draft" 2,
// "Sent" 4, compared with case; anything else 2.
DWORD SmsFolderCode(std::u16string_view name);

// SIM messages are numbered from here: slot n (1-based) has SUID n + 0x10000F.
inline constexpr DWORD kSimMessageSuidBase = 0x10000F;

// The SUID the stream family's identifier text stands for (0 below 17 characters).
DWORD StreamMessageSuid(std::u16string_view identifier);

// A message read from the store (ID and entry-ID families). In the ID family folder 2 is a
// mixed folder whose messages show as "Inbox" or "Sent" by their status, under "/Folder1".
void MessageRecordToFields(const CPropertyMap& props, DWORD suid, DWORD folder, bool idFamily,
                           FieldMap* fields);
// A stream family record listed from `folder`; its time is the phone's and is kept as it is.
void StreamRecordToFields(const devrec::StreamMessage& m, DWORD folder, FieldMap* fields);
// A SIM message read from `slot`.
void SimMessageToFields(const CPropertyMap& props, DWORD slot, FieldMap* fields);
// The properties a saved or sent message carries, in the phone's order; returns the folder
// code of the request.
DWORD MessageFieldsToRecord(const FieldMap& fields, CPropertyList* list);

}  // namespace qwb
