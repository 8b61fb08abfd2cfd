// CDataTableWMMessage: the SMS message table (DTID_MESSAGE).
// Messages are items with the message columns. The table will serve the listing, NewItem,
// CreateItem, Execute and GetProperty; until then every IDataTable method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMMessage : public CDataTableWMBase {
 public:
  CDataTableWMMessage();

 protected:
  ~CDataTableWMMessage() override;
};

}  // namespace qwb
