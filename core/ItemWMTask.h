// CItemWMTask: the item of type DCADT_TASK.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMTask : public CItemWMBase {
 public:
  CItemWMTask() : CItemWMBase(DCADT_TASK) {}

  // A new column set of the Task schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The Task schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
