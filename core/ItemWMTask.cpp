#include "core/ItemWMTask.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMTask::Schema() {
  // 20 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},
      {u"SUBJECT", VT_BSTR},
      {u"DETAIL", VT_BSTR},
      {u"START_DATE", VT_DATE},
      {u"END_DATE", VT_DATE},
      {u"LOCATION", VT_BSTR},
      {u"ALARM_TYPE", VT_BSTR},
      {u"ALARM_VALUE", VT_I4},
      {u"ALARM_TIME", VT_DATE},
      {u"PRIORITY", VT_BSTR},
      {u"DONE_STATE", VT_BSTR},
      {u"RECURRENCE_TYPE", VT_I4},
      {u"RECURRENCE_EVERY", VT_I4},
      {u"RECURRENCE_FLAG", VT_I4},
      {u"RECURRENCE_EXPIRE_TYPE", VT_I4},
      {u"RECURRENCE_EXPIRE_VALUE", VT_I4},
      {u"RECURRENCE_EXPIRE_DATE", VT_DATE},
      {u"RECURRENCE_EVERY_DATE", VT_DATE},
      {u"SENSITIVITY", VT_BSTR},
      {u"CATEGORIES", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMTask::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
