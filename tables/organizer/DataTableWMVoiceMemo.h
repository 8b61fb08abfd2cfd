// CDataTableWMVoiceMemo: the voice memo table (DTID_VOICEMEMO).
// Voice memos are items with the voice memo columns. The table will serve the listing and
// NewItem; until then every IDataTable method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMVoiceMemo : public CDataTableWMBase {
 public:
  CDataTableWMVoiceMemo();

 protected:
  ~CDataTableWMVoiceMemo() override;
};

}  // namespace qwb
