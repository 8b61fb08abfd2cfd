// CDataTableWMMMS: the MMS message table (DTID_MMS).
// MMS messages are items with the MMS columns. The table will serve the listing, NewItem,
// CreateItem, UpdateItem, DeleteItem, ReadItem and Execute; until then every IDataTable
// method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMMMS : public CDataTableWMBase {
 public:
  CDataTableWMMMS();

 protected:
  ~CDataTableWMMMS() override;
};

}  // namespace qwb
