#include "core/ItemWMMessage.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMMessage::Schema() {
  // SMS, 14 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},        {u"MODE", VT_BSTR},           {u"TYPE", VT_BSTR},
      {u"FOLDER", VT_BSTR},    {u"MY_FOLDER", VT_I4},        {u"ATTRIBUTE", VT_BSTR},
      {u"CONTENT", VT_BSTR},   {u"CREATE_DATE", VT_DATE},    {u"SENDER", VT_BSTR},
      {u"RECEIVER", VT_BSTR},  {u"SEND_STATE", VT_BSTR},     {u"ATTACHMENT_FILES", VT_BSTR},
      {u"MSG_STATE", VT_BSTR}, {u"MY_FOLDER_PATH", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMMessage::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
