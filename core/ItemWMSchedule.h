// CItemWMSchedule: the item of type DCADT_SCHEDULE.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMSchedule : public CItemWMBase {
 public:
  CItemWMSchedule() : CItemWMBase(DCADT_SCHEDULE) {}

  // A new column set of the Schedule schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The Schedule schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
