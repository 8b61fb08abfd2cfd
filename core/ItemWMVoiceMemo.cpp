#include "core/ItemWMVoiceMemo.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMVoiceMemo::Schema() {
  // 6 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},   {u"FILE_PATH", VT_BSTR},   {u"NAME", VT_BSTR},
      {u"MODE", VT_BSTR}, {u"CREATE_DATE", VT_DATE}, {u"ATTRIBUTE", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMVoiceMemo::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
