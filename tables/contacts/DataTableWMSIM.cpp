#include "tables/contacts/DataTableWMSIM.h"

#include "core/ItemWMSIM.h"

namespace qwb {

CDataTableWMSIM::CDataTableWMSIM() { m_pColumns = CItemWMSIM::CreateColumns(); }

CDataTableWMSIM::~CDataTableWMSIM() = default;

}  // namespace qwb
