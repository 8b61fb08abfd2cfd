#include "tables/TableRegistry.h"

#include "tables/contacts/DataTableWMPhonebook.h"
#include "tables/contacts/DataTableWMSIM.h"
#include "tables/files/DataTableWMFile.h"
#include "tables/messaging/DataTableWMMMS.h"
#include "tables/messaging/DataTableWMMessage.h"
#include "tables/metadata/DataTableWMMetadata.h"
#include "tables/organizer/DataTableWMSchedule.h"
#include "tables/organizer/DataTableWMTask.h"
#include "tables/organizer/DataTableWMVoiceMemo.h"

namespace qwb {

std::span<const TableRegistration> ServedTables() {
  static const TableRegistration kTables[] = {
      {DTID_FILE, 7, NewTable<CDataTableWMFile>},
      {DTID_PHONEBOOK, 0, NewTable<CDataTableWMPhonebook>},
      {DTID_CALENDAR, 1, NewTable<CDataTableWMSchedule>},
      {DTID_TASK, 2, NewTable<CDataTableWMTask>},
      {DTID_MESSAGE, 3, NewTable<CDataTableWMMessage>},
      {DTID_SIM, 5, NewTable<CDataTableWMSIM>},
      {DTID_MMS, 6, NewTable<CDataTableWMMMS>},
      {DTID_METADATA, 4, NewTable<CDataTableWMMetadata>},
      {DTID_VOICEMEMO, 8, NewTable<CDataTableWMVoiceMemo>},
  };
  return kTables;
}

}  // namespace qwb
