// CItemWMFileInfo: the item of type DCADT_FILE_INFO.
#pragma once

#include "core/ItemWMBase.h"

namespace qwb {

class CItemWMFileInfo : public CItemWMBase {
 public:
  CItemWMFileInfo() : CItemWMBase(DCADT_FILE_INFO) {}

  // A new column set of the FileInfo schema, with one reference; the schema itself is built
  // on first use.
  static ComPtr<CColumnsWM> CreateColumns();
  // The FileInfo schema, in column order.
  static const std::vector<ColumnSchemaEntry>& Schema();
};

}  // namespace qwb
