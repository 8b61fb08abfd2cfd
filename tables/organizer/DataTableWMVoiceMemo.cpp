#include "tables/organizer/DataTableWMVoiceMemo.h"

#include <cstdio>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMVoiceMemo.h"
#include "core/Log.h"
#include "link/RapiBase.h"
#include "tables/files/FileStorage.h"
#include "tables/files/FileTransfer.h"
#include "wincompat/winbase.h"

namespace qwb {
namespace {

constexpr char kSource[] = ".\\DataTableWMVoiceMemo.cpp";
constexpr char16_t kMainMemoryFolder[] = u"\\My Documents\\AudioNote\\*.*";
constexpr char16_t kSearchTail[] = u"*.*";
// Name, attributes, creation time and size.
constexpr DWORD kFindFlags = 0xB3;
constexpr DWORD kCopyBlock = 102400;
constexpr DWORD kAppDataChars = 4096;
constexpr HRESULT kWriteFailed = 1;

// The PC's last error as a failure: a device-side failure leaves it 0, which must still fail.
HRESULT LastErrorFailure() {
  const HRESULT hr = files::LastTransportError();
  return FAILED(hr) ? hr : E_FAIL;
}

DATE FileTimeToDate(const FILETIME& ft) {
  SYSTEMTIME st;
  double date = 0;
  if (!FileTimeToSystemTime(&ft, &st) || !SystemTimeToVariantTime(&st, &date)) return 0;
  return date;
}

// The text after the last backslash.
std::u16string FileNameOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CDataTableWMVoiceMemo::CDataTableWMVoiceMemo() { m_pColumns = CItemWMVoiceMemo::CreateColumns(); }

CDataTableWMVoiceMemo::~CDataTableWMVoiceMemo() = default;

bool CDataTableWMVoiceMemo::IsRecording(const CE_FIND_DATA& found) {
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  const std::u16string_view name(found.cFileName);
  const size_t dot = name.rfind(u'.');
  return dot != std::u16string_view::npos && EqualsNoCase(name.substr(dot + 1), u"amr");
}

std::u16string CDataTableWMVoiceMemo::LocalFolder() {
  std::vector<WCHAR> buffer(kAppDataChars + 1, 0);
  const DWORD n = GetEnvironmentVariableW(u"APPDATA", buffer.data(), kAppDataChars);
  const std::u16string appData(buffer.data(), n <= kAppDataChars ? n : 0);
  return appData + u"/Tolvane/Orvanta/Voice_Memo_WM";
}

void CDataTableWMVoiceMemo::SearchFolder(const std::u16string& pattern) {
  DWORD count = 0;
  CE_FIND_DATA* found = nullptr;
  if (!CeFindAllFiles(pattern.c_str(), kFindFlags, &count, &found)) {
    if (found) CeRapiFreeBuffer(found);
    ThrowWmError(files::LastTransportError());
  }
  const std::u16string folder = pattern.substr(0, pattern.size() - std::size(kSearchTail) + 1);
  for (DWORD i = 0; found && i < count; ++i) {
    if (!IsRecording(found[i])) continue;
    FileRecord record;
    record.path = folder + found[i].cFileName;
    record.size = found[i].nFileSizeLow;
    record.created = found[i].ftCreationTime;
    m_vDeviceFiles.push_back(std::move(record));
  }
  if (found) CeRapiFreeBuffer(found);
}

HRESULT CDataTableWMVoiceMemo::CopyDeviceFile(const std::u16string& device,
                                              const std::u16string& local) {
  CE_FIND_DATA found{};
  HANDLE search = CeFindFirstFile(device.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return LastErrorFailure();
  CeFindClose(search);
  if (found.nFileSizeLow == 0 && found.nFileSizeHigh == 0) return S_OK;

  files::DeviceFile in(CeCreateFile(device.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.Valid()) return LastErrorFailure();
  files::PcFile out(CreateFileW(local.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.Valid()) return LastErrorFailure();
  switch (files::CopyDeviceToPc(in.Get(), out.Get(), kCopyBlock, [](DWORD) { return true; })) {
    case files::CopyEnd::kReadFailed:
      return LastErrorFailure();
    case files::CopyEnd::kWriteFailed:
      return kWriteFailed;
    default:
      return S_OK;
  }
}

HRESULT CDataTableWMVoiceMemo::ListItemsAllBegin() {
  WMLog("%s(+)", "CDataTableWMVoiceMemo::ListItemsAllBegin");
  return TableMethodFrame("CDataTableWMVoiceMemo::ListItemsAllBegin", kSource, __LINE__, [&] {
    m_bListing = FALSE;
    m_nIndex = m_nTotal = 0;
    m_vDeviceFiles.clear();
    m_vCopied.clear();

    // The storage card first, then main memory.
    CRapiBase* link = m_pDeviceData ? m_pDeviceData->GetRapiBase() : nullptr;
    if (link && link->CheckStorageCard() == 1 && !link->StorageCardFolder().empty())
      SearchFolder(u"\\" + link->StorageCardFolder() + u"\\AudioNote\\*.*");
    SearchFolder(kMainMemoryFolder);

    const std::u16string folder = LocalFolder();
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
      for (const FileRecord& record : m_vDeviceFiles) {
        const std::u16string local = folder + u"/" + FileNameOf(record.path);
        if (CopyDeviceFile(record.path, local) != S_OK) continue;
        FileRecord copy = record;
        copy.path = local;
        m_vCopied.push_back(std::move(copy));
      }
    }
    m_nTotal = static_cast<LONG>(m_vCopied.size());
    m_nIndex = 0;
    m_bListing = TRUE;
    return S_OK;
  });
}

HRESULT CDataTableWMVoiceMemo::NextItem(IItem** ppItem) {
  WMLog("%s(+)", "CDataTableWMVoiceMemo::NextItem");
  const HRESULT hr = TableMethodFrame(
      "CDataTableWMVoiceMemo::NextItem", kSource, __LINE__,
      [&] {
        if (!ppItem) return E_POINTER;
        *ppItem = nullptr;
        if (m_nIndex >= m_nTotal || m_nIndex < 0 ||
            static_cast<size_t>(m_nIndex) >= m_vCopied.size())
          return S_OK;
        const FileRecord& record = m_vCopied[static_cast<size_t>(m_nIndex)];
        FieldMap fields;
        PutField(fields, u"SUID", Variant::I4(m_nIndex));
        PutField(fields, u"FILE_PATH", Variant::Str(record.path));
        PutField(fields, u"CREATE_DATE", Variant::Date(FileTimeToDate(record.created)));
        PutField(fields, u"MODE", Variant::Str(u"home"));
        ++m_nIndex;
        ComPtr<CItemWMVoiceMemo> item = MakeItem<CItemWMVoiceMemo>();
        item->SetColumns(m_pColumns.Get());
        const HRESULT made = item->SchemaConvertMap2Item(fields);
        if (FAILED(made)) return made;
        *ppItem = item.Detach()->AsItem();
        return S_OK;
      },
      [&] {
        ListItemsEnd();
        char text[64];
        std::snprintf(text, sizeof text, "m_nIndex=%d, m_nTotal=%d", static_cast<int>(m_nIndex),
                      static_cast<int>(m_nTotal));
        return FromUtf8(text);
      });
  if (SUCCEEDED(hr)) WMLog("%s(-)", "CDataTableWMVoiceMemo::NextItem");
  return hr;
}

HRESULT CDataTableWMVoiceMemo::ListItemsEnd() {
  WMLog("%s", "CDataTableWMVoiceMemo::ListItemsEnd");
  m_bListing = FALSE;
  return S_OK;
}

HRESULT CDataTableWMVoiceMemo::GetItemCount(IItem*, ULONG, DCADATATYPE, ULONG* cnt) {
  WMLog("%s", "CDataTableWMVoiceMemo::GetItemCount");
  if (!cnt) return E_POINTER;
  if (!m_bListing) {
    // No search of the phone here: a count before any listing is 0.
    *cnt = 0;
    m_bListing = TRUE;
    return S_OK;
  }
  *cnt = static_cast<ULONG>(m_nTotal);
  return S_OK;
}

HRESULT CDataTableWMVoiceMemo::NewItem(DCADATATYPE, SUID itemSuid, SUID parentSuid,
                                       IItem** ppItem) {
  return TableMethodFrame("CDataTableWMVoiceMemo::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMVoiceMemo> item = MakeItem<CItemWMVoiceMemo>();
    item->SetColumns(m_pColumns.Get());
    item->SetSUID(itemSuid);
    (void)parentSuid;  // voice memos have no parent
    *ppItem = item.Detach()->AsItem();
    return S_OK;
  });
}

}  // namespace qwb
