#include "core/ItemWMSIM.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMSIM::Schema() {
  // 20 columns: six numbers and one e-mail address.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},
      {u"DISPLAY_NAME", VT_BSTR},
      {u"READING_LAST_NAME", VT_BSTR},
      {u"READING_FIRST_NAME", VT_BSTR},
      {u"TEL_COUNT", VT_I4},
      {u"TEL_TYPE_0", VT_BSTR},
      {u"TEL_NUM_0", VT_BSTR},
      {u"TEL_TYPE_1", VT_BSTR},
      {u"TEL_NUM_1", VT_BSTR},
      {u"TEL_TYPE_2", VT_BSTR},
      {u"TEL_NUM_2", VT_BSTR},
      {u"TEL_TYPE_3", VT_BSTR},
      {u"TEL_NUM_3", VT_BSTR},
      {u"TEL_TYPE_4", VT_BSTR},
      {u"TEL_NUM_4", VT_BSTR},
      {u"TEL_TYPE_5", VT_BSTR},
      {u"TEL_NUM_5", VT_BSTR},
      {u"EMAIL_COUNT", VT_I4},
      {u"EMAIL_TYPE_0", VT_BSTR},
      {u"EMAIL_ADDR_0", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMSIM::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
