// CDataTableWMSIM: the SIM phonebook table (DTID_SIM).
// SIM contacts are items with the SIM columns. The table will serve the listing, NewItem,
// CreateItem, UpdateItem and DeleteItem; until then every IDataTable method answers
// E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMSIM : public CDataTableWMBase {
 public:
  CDataTableWMSIM();

 protected:
  ~CDataTableWMSIM() override;
};

}  // namespace qwb
