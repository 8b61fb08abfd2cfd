// CDataTableWMPhonebook: the phonebook table (DTID_PHONEBOOK).
// Contacts are items with the phonebook columns; the phone's categories are group items with
// the group columns, kept as the second column set. The table will serve the listing,
// NewItem, CreateItem, UpdateItem, DeleteItem and SetSyncStatus over the phonebook stream;
// until then every IDataTable method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMPhonebook : public CDataTableWMBase {
 public:
  CDataTableWMPhonebook();

 protected:
  ~CDataTableWMPhonebook() override;
};

}  // namespace qwb
