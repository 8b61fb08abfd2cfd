#include "core/ItemWMMMS.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMMMS::Schema() {
  // 33 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},
      {u"DEVICE_ID", VT_I4},
      {u"DEVICE_NAME", VT_BSTR},
      {u"MODE", VT_BSTR},
      {u"MY_FOLDER", VT_I4},
      {u"ATTRIBUTE", VT_BSTR},
      {u"CREATE_DATE", VT_DATE},
      {u"SEND_STATE", VT_BSTR},
      {u"MESSAGE_ID", VT_BSTR},
      {u"FOLDER", VT_BSTR},
      {u"TRANSACTION_ID", VT_BSTR},
      {u"SUBJECT", VT_BSTR},
      {u"SENDER", VT_BSTR},
      {u"RECEIVER", VT_BSTR},
      {u"CC", VT_BSTR},
      {u"BCC", VT_BSTR},
      {u"TIME_STAMP", VT_UI4},
      {u"TOTAL_SIZE", VT_UI4},
      {u"BODY_SIZE", VT_UI4},
      {u"READ_STATUS", VT_I4},
      {u"READ_REPORT", VT_I4},
      {u"DELIVERY_REPORT", VT_I4},
      {u"MESSAGE_CLASS", VT_BSTR},
      {u"COMPLETED", VT_I4},
      {u"PRIORITY", VT_BSTR},
      {u"VISIBILITY", VT_I4},
      {u"MM_STATUS", VT_I4},
      {u"DRM", VT_BSTR},
      {u"MSG_FLAG_ATTACHMENT", VT_I4},
      {u"MSG_FLAG_NOTI", VT_I4},
      {u"MSG_FLAG_LOCK", VT_I4},
      {u"MSG_FLAG_TEMPLATE_MSG_LOCK", VT_I4},
      {u"ATTACHMENT_FILE_PATH", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMMMS::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
