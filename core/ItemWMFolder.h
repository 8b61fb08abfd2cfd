// CItemWMFolder: the item of type DCADT_FOLDER.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMFolder : public CItemWMBase {
 public:
  CItemWMFolder() : CItemWMBase(DCADT_FOLDER) {}

  // A new column set of the Folder schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The Folder schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
