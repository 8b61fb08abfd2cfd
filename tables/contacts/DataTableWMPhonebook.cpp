#include "tables/contacts/DataTableWMPhonebook.h"

#include "core/ItemWMPBGroup.h"
#include "core/ItemWMPhonebook.h"

namespace qwb {

CDataTableWMPhonebook::CDataTableWMPhonebook() {
  m_pColumns = CItemWMPhonebook::CreateColumns();
  m_pColumns2 = CItemWMPBGroup::CreateColumns();
}

CDataTableWMPhonebook::~CDataTableWMPhonebook() = default;

}  // namespace qwb
