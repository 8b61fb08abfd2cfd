#include "core/ItemWMPBGroup.h"

#include "core/Log.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMPBGroup::Schema() {
  // 23 columns.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"SUID", VT_I4},
      {u"ATTRIBUTE", VT_BSTR},
      {u"NAME", VT_BSTR},
      {u"RINGTON_TYPE", VT_BSTR},
      {u"RINGTON", VT_BSTR},
      {u"MESSAGETON_TYPE", VT_BSTR},
      {u"MESSAGETON", VT_BSTR},
      {u"PHOTO_TYPE", VT_BSTR},
      {u"PHOTO", VT_BSTR},
      {u"PHOTO_LOCAL_PATH", VT_BSTR},
      {u"GROUP_PROPERTY", VT_BSTR},
      {u"DB_LEDTYPE", VT_BSTR},
      {u"ICON_GROUP_INDEX", VT_I4},
      {u"ICON_INDEX", VT_I4},
      {u"VCARD_IMAGE_TYPE", VT_BSTR},
      {u"PTIMESTAMP", VT_I4},
      {u"SAVE_TIME", VT_I4},
      {u"PGUID", VT_BSTR},
      {u"ITEM_STATE", VT_BSTR},
      {u"PCFLAG", VT_I4},
      {u"WEBFLAG", VT_I4},
      {u"REJECT", VT_BSTR},
      {u"MODE", VT_I4},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMPBGroup::CreateColumns() { return CColumnsWM::Create(Schema()); }

HRESULT CItemWMPBGroup::SchemaConvertItem2Map(FieldMap& map) {
  WMLog("CItemWMPBGroup::SchemaConvertItem2Map");
  return CItemWMBase::SchemaConvertItem2Map(map);
}

}  // namespace qwb
