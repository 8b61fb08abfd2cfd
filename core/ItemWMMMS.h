// CItemWMMMS: the item of type DCADT_MMS.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMMMS : public CItemWMBase {
 public:
  CItemWMMMS() : CItemWMBase(DCADT_MMS) {}

  // A new column set of the MMS schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The MMS schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
