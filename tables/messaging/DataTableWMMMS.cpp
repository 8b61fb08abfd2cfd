#include "tables/messaging/DataTableWMMMS.h"

#include "core/ItemWMMMS.h"

namespace qwb {

CDataTableWMMMS::CDataTableWMMMS() { m_pColumns = CItemWMMMS::CreateColumns(); }

CDataTableWMMMS::~CDataTableWMMMS() = default;

}  // namespace qwb
