// CItemWMPhonebook: the item of type DCADT_PHONEBOOK.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMPhonebook : public CItemWMBase {
 public:
  CItemWMPhonebook() : CItemWMBase(DCADT_PHONEBOOK) {}

  // A new column set of the Phonebook schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The Phonebook schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
