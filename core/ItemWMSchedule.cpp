#include "core/ItemWMSchedule.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMSchedule::Schema() {
  // 29 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},
      {u"TYPE", VT_I4},
      {u"SUBJECT", VT_BSTR},
      {u"DETAIL", VT_BSTR},
      {u"START_DATE", VT_DATE},
      {u"END_DATE", VT_DATE},
      {u"LOCATION", VT_BSTR},
      {u"ALARM_TYPE", VT_BSTR},
      {u"ALARM_VALUE", VT_I4},
      {u"ALARM_BEFORETARGET_VALUE", VT_I4},
      {u"RECURRENCE_TYPE", VT_I4},
      {u"RECURRENCE_EVERY", VT_I4},
      {u"RECURRENCE_FLAG", VT_I4},
      {u"RECURRENCE_EXPIRE_TYPE", VT_I4},
      {u"RECURRENCE_EXPIRE_VALUE", VT_I4},
      {u"RECURRENCE_EXPIRE_DATE", VT_DATE},
      {u"RECURRENCE_EVERY_DATE", VT_DATE},
      {u"PRIORITY", VT_BSTR},
      {u"DONE_STATE", VT_BSTR},
      {u"ISALLDAY", VT_BSTR},
      {u"ATTENDEES", VT_BSTR},
      {u"STATUS", VT_BSTR},
      {u"SENSITIVITY", VT_BSTR},
      {u"CATEGORIES", VT_BSTR},
      {u"RECURRENCE_UI_TYPE", VT_BSTR},
      {u"START_DATE_TYPE", VT_BSTR},
      {u"END_DATE_TYPE", VT_BSTR},
      {u"ALARM_TARGET_DATE", VT_DATE},
      {u"ALARM_BEFORETARGET_TIME", VT_DATE},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMSchedule::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
