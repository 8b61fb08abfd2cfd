// CDataTableWMMetadata: the device metadata table (DTID_METADATA).
// It has no items and no column set; of the IDataTable methods it will serve GetProperty
// only. Until then every IDataTable method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

class CDataTableWMMetadata : public CDataTableWMBase {
 public:
  CDataTableWMMetadata();

 protected:
  ~CDataTableWMMetadata() override;
};

}  // namespace qwb
