// CItemWMMessage: the item of type DCADT_SMS.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMMessage : public CItemWMBase {
 public:
  CItemWMMessage() : CItemWMBase(DCADT_SMS) {}

  // A new column set of the Message schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The Message schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
