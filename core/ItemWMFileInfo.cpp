#include "core/ItemWMFileInfo.h"

namespace qwb {

const std::vector<ColumnSchemaEntry>& CItemWMFileInfo::Schema() {
  // 22 columns: memory sizes and names as text, limits as numbers.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"MemorySize", VT_BSTR},
      {u"MemoryUse", VT_BSTR},
      {u"Memory2Size", VT_BSTR},
      {u"Memory2Use", VT_BSTR},
      {u"Memory3Size", VT_BSTR},
      {u"Memory3Use", VT_BSTR},
      {u"ExtMemorySize", VT_BSTR},
      {u"ExtMemoryUse", VT_BSTR},
      {u"MemoryName", VT_BSTR},
      {u"Memory2Name", VT_BSTR},
      {u"Memory3Name", VT_BSTR},
      {u"DefaultMusicFolder", VT_BSTR},
      {u"DefaultPictureFolder", VT_BSTR},
      {u"DefaultVideoFolder", VT_BSTR},
      {u"DefaultOtherFolder", VT_BSTR},
      {u"PacketSize", VT_I4},
      {u"FileNameLength", VT_I4},
      {u"FolderNameLength", VT_I4},
      {u"CodeSchema", VT_I4},
      {u"MaxFolderDepth", VT_I4},
      {u"MaxExtFolderDepth", VT_I4},
      {u"DeviceAttribute", VT_I4},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMFileInfo::CreateColumns() { return CColumnsWM::Create(Schema()); }

}  // namespace qwb
