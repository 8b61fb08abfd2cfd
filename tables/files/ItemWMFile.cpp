#include "tables/files/ItemWMFile.h"

#include "core/Errors.h"

namespace qwb {
namespace {

// Whether the value's 8 bytes are a plain number that can be read as a date. A BSTR,
// interface, array or reference retagged as a date would leak and turn a pointer into a date.
bool HoldsPlainValue(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

const std::vector<ColumnSchemaEntry>& CItemWMFile::Schema() {
  // 14 columns, in mixed case like the folder's.
  static const std::vector<ColumnSchemaEntry> schema = {
      {u"FolderID", VT_I4},        {u"Name", VT_BSTR},
      {u"FileSize", VT_BSTR},      {u"Type", VT_I4},
      {u"CreateDate", VT_DATE},    {u"LastAccessDate", VT_DATE},
      {u"LastWriteDate", VT_DATE}, {u"Status", VT_I4},
      {u"StatusIcon", VT_I4},      {u"NotAllowedOperation", VT_I4},
      {u"PCPath", VT_BSTR},        {u"Reserved1", VT_BSTR},
      {u"Reserved2", VT_BSTR},     {u"Reserved3", VT_BSTR},
  };
  return schema;
}

ComPtr<CColumnsWM> CItemWMFile::CreateColumns() { return CColumnsWM::Create(Schema()); }

HRESULT CItemWMFile::ReadBlobTo(ULONG, BSTR) { return E_NOTIMPL; }
HRESULT CItemWMFile::WriteBlobFrom(ULONG, BSTR) { return E_NOTIMPL; }

HRESULT CItemWMFile::SchemaConvertMap2Item(const FieldMap& map) {
  struct Entry {
    const char16_t* name;
    bool isDate;
  };
  static constexpr Entry kEntries[] = {
      {u"FolderID", false},     {u"Name", false},
      {u"FileSize", false},     {u"Type", false},
      {u"CreateDate", true},    {u"LastAccessDate", true},
      {u"LastWriteDate", true}, {u"Status", false},
      {u"StatusIcon", false},   {u"NotAllowedOperation", false},
      {u"PCPath", false},       {u"Reserved1", false},
      {u"Reserved2", false},    {u"Reserved3", false},
  };
  ULONG ordinal = 0;
  for (const Entry& e : kEntries) {
    if (const Variant* entry = FindField(map, e.name)) {
      // The columns are fixed by position: a smaller set has no slot for this entry.
      if (!m_pColumns || ordinal >= m_pColumns->GetCount()) ThrowAtl(E_INVALIDARG);
      EnsureValues();
      CopyIntoColumn(ordinal, entry->Get());
      if (e.isDate) {
        Variant& slot = ValueSlot(ordinal);
        if (HoldsPlainValue(slot.vt())) slot.Ptr()->vt = VT_DATE;
      }
    }
    ++ordinal;
  }
  return S_OK;
}

HRESULT CItemWMFile::NotifyProgress(LONG done, LONG total, LONG* pContinue) {
  if (m_pDeviceData) m_pDeviceData->FireProgress(done, total, pContinue);
  return S_OK;
}

}  // namespace qwb
