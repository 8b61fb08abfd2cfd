// CItemWMPBGroup: the item of type DCADT_GROUP.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMPBGroup : public CItemWMBase {
 public:
  CItemWMPBGroup() : CItemWMBase(DCADT_GROUP) {}

  // A new column set of the PBGroup schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The PBGroup schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();

  // Logs "CItemWMPBGroup::SchemaConvertItem2Map", then converts as every item does.
  HRESULT SchemaConvertItem2Map(FieldMap& map) override;
};

}  // namespace qwb
