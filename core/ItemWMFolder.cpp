#include "core/ItemWMFolder.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMFolder::Schema() {
  // 16 columns; file columns are in mixed case.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"FolderID", VT_I4},        {u"Name", VT_BSTR},
      {u"ParentID", VT_I4},        {u"FileCount", VT_I4},
      {u"SubFolderCount", VT_I4},  {u"LimitSize", VT_BSTR},
      {u"LimitFileCount", VT_I4},  {u"LimitFileType", VT_BSTR},
      {u"CreateDate", VT_DATE},    {u"LastAccessDate", VT_DATE},
      {u"LastWriteDate", VT_DATE}, {u"Status", VT_I4},
      {u"StatusIcon", VT_I4},      {u"NotAllowedOperation", VT_I4},
      {u"Reserved1", VT_BSTR},     {u"Reserved2", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMFolder::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
