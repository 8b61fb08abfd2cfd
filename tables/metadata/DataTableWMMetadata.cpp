#include "tables/metadata/DataTableWMMetadata.h"

namespace qwb {

// No items, so no column set.
CDataTableWMMetadata::CDataTableWMMetadata() = default;

CDataTableWMMetadata::~CDataTableWMMetadata() = default;

}  // namespace qwb
