// CItemWMSIM: the item of type DCADT_PHONEBOOK_SIM.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMSIM : public CItemWMBase {
 public:
  CItemWMSIM() : CItemWMBase(DCADT_PHONEBOOK_SIM) {}

  // A new column set of the SIM schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The SIM schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
