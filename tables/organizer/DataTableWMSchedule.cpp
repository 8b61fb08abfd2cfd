#include "tables/organizer/DataTableWMSchedule.h"

#include "core/ItemWMSchedule.h"

namespace qwb {

CDataTableWMSchedule::CDataTableWMSchedule() { m_pColumns = CItemWMSchedule::CreateColumns(); }

CDataTableWMSchedule::~CDataTableWMSchedule() = default;

}  // namespace qwb
