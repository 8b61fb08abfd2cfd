// CItemWMVoiceMemo: the item of type DCADT_VOICEMEMO.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMVoiceMemo : public CItemWMBase {
 public:
  CItemWMVoiceMemo() : CItemWMBase(DCADT_VOICEMEMO) {}

  // A new column set of the VoiceMemo schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The VoiceMemo schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
