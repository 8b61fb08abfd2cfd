#include "tables/organizer/DataTableWMVoiceMemo.h"

#include "core/ItemWMVoiceMemo.h"

namespace qwb {

CDataTableWMVoiceMemo::CDataTableWMVoiceMemo() { m_pColumns = CItemWMVoiceMemo::CreateColumns(); }

CDataTableWMVoiceMemo::~CDataTableWMVoiceMemo() = default;

}  // namespace qwb
