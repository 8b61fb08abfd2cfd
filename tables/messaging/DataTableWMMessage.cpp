#include "tables/messaging/DataTableWMMessage.h"

#include "core/ItemWMMessage.h"

namespace qwb {

CDataTableWMMessage::CDataTableWMMessage() { m_pColumns = CItemWMMessage::CreateColumns(); }

CDataTableWMMessage::~CDataTableWMMessage() = default;

}  // namespace qwb
