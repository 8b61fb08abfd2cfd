// CDataTableWMSchedule: the calendar table (DTID_CALENDAR).
// Appointments are items with the schedule columns. The table will serve the listing,
// NewItem, CreateItem, UpdateItem and DeleteItem; until then every IDataTable method answers
// E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMSchedule : public CDataTableWMBase {
 public:
  CDataTableWMSchedule();

 protected:
  ~CDataTableWMSchedule() override;
};

}  // namespace qwb
