#include "tables/files/ItemWMFile.h"

#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/MethodFrame.h"
#include "tables/files/FileStorage.h"
#include "tables/files/FileTransfer.h"
#include "tables/organizer/TimeConv.h"
#include "wincompat/rapi.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

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

constexpr char kSource[] = ".\\ItemWMFile.cpp";
constexpr HRESULT kGenFailure = static_cast<HRESULT>(0x8007001Fu);
constexpr HRESULT kFailed = 1, kCancelled = 13, kDiskFull = 12007, kPathTooLong = 13015,
                  kCannotCreate = 13042;
constexpr DWORD kDeviceReadChunk = 4096;
constexpr DWORD kDeviceWriteChunk = 102400;
constexpr DWORD kErrDiskFull = 112;
// Positions in the file column set.
constexpr ULONG kColCreateDate = 4, kColLastAccessDate = 5, kColLastWriteDate = 6, kColStatus = 7,
                kColNotAllowedOperation = 9, kFileColumnCount = 14;

using files::DeviceFile;
using files::PcFile;

void Print(const char* text) { wincompat::ConsoleWrite(text); }

// The host's size text; 0 when it is not a number.
LONG ParseSize(const std::u16string& text) {
  LONG n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    n = n * 10 + (c - u'0');
  }
  return n;
}

bool FileTimeToOleDate(const FILETIME& ft, DATE* out) {
  SYSTEMTIME st;
  double d = 0;
  if (!FileTimeToSystemTime(&ft, &st) || !SystemTimeToVariantTime(&st, &d)) return false;
  *out = d;
  return true;
}

}  // namespace

struct CItemWMFile::Transfer {
  std::u16string device;
  std::u16string pc;
  LONG total = 0;
};

ComPtr<CItemWMFile> CItemWMFile::Create(IProgressTarget* deviceData) {
  ComPtr<CItemWMFile> item = MakeItem<CItemWMFile>();
  item->m_pDeviceData = deviceData;
  const files::StorageCards cards = files::DetectStorageCards(files::DeviceRegistryReader());
  item->m_strFirstCard = cards.first;
  item->m_strSecondCard = cards.second;
  return item;
}

void CItemWMFile::RecordTransportError() {
  m_hrLastError = files::LastTransportError();
  if (files::IsDisconnection(m_hrLastError)) m_bDisconnected = true;
}

std::u16string CItemWMFile::DevicePath(const std::u16string& hostFolder,
                                       const std::u16string& name) {
  const files::ConvertedPath folder = files::ConvertHostPath(
      hostFolder, [] { return files::ProbeStorageCardFolder(); }, m_strFirstCard,
      m_strSecondCard);
  return files::JoinDevicePath(folder.folder, name);
}

CItemWMFile::Transfer CItemWMFile::Prepare() {
  m_bDisconnected = false;
  FieldMap map;
  SchemaConvertItem2Map(map);
  Transfer t;
  t.device = DevicePath(ReadFieldString(map, u"Reserved1"), ReadFieldString(map, u"Name"));
  t.pc = ReadFieldString(map, u"PCPath");
  t.total = ParseSize(ReadFieldString(map, u"FileSize"));
  if (t.device.size() >= files::kMaxPathChars || t.pc.size() >= files::kMaxPathChars)
    ThrowWmError(kPathTooLong);
  return t;
}

HRESULT CItemWMFile::Download(const Transfer& t) {
  CE_FIND_DATA found{};
  HANDLE search = CeFindFirstFile(t.device.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    RecordTransportError();
    Print("Windows CE file does not exist\n");
    return kFailed;
  }
  CeFindClose(search);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    Print("Windows CE file specifies a directory\n");
    return kFailed;
  }
  PcFile pc(CreateFileW(t.pc.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!pc.Valid()) return kFailed;
  HRESULT result = 0;
  DeviceFile device(CeCreateFile(t.device.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!device.Valid()) {
    RecordTransportError();
    Print("Unable to open Windows CE file");
    result = kFailed;
  } else {
    LONG done = 0;
    const files::CopyEnd end =
        files::CopyDeviceToPc(device.Get(), pc.Get(), kDeviceReadChunk, [&](DWORD got) {
          Print(".");
          done += static_cast<LONG>(got);
          NotifyProgress(done, t.total, &m_nContinue);
          return m_nContinue != 0;
        });
    if (end == files::CopyEnd::kReadFailed) {
      std::u16string name;
      if (files::PhoneAttached(&name)) {
        result = kFailed;
      } else {
        m_bDisconnected = true;
        result = kGenFailure;
      }
    } else if (end == files::CopyEnd::kWriteFailed) {
      Print("Error !!! Writing hostfile");
      result = kFailed;
    }
    FILETIME created{}, accessed{}, modified{};
    if (CeGetFileTime(device.Get(), &created, &accessed, &modified))
      SetFileTime(pc.Get(), &created, &accessed, &modified);
  }
  pc.Reset();
  device.Reset();
  if (m_nContinue == 0) {
    if (!DeleteFileW(t.pc.c_str())) RecordTransportError();
    m_nContinue = 1;
    return kCancelled;
  }
  // A failed download leaves no part of the file on the PC.
  if (result != 0) DeleteFileW(t.pc.c_str());
  return result;
}

HRESULT CItemWMFile::Upload(const Transfer& t) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(t.pc.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    RecordTransportError();
    return kFailed;
  }
  FindClose(search);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kFailed;
  PcFile pc(CreateFileW(t.pc.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
  if (!pc.Valid()) return kFailed;
  DeviceFile device(CeCreateFile(t.device.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!device.Valid()) return kCannotCreate;
  HRESULT result = 0;
  std::vector<BYTE> buffer(kDeviceWriteChunk);
  LONG done = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pc.Get(), buffer.data(), kDeviceWriteChunk, &got, nullptr)) {
      result = kFailed;
      break;
    }
    DWORD written = 0;
    if (!CeWriteFile(device.Get(), buffer.data(), got, &written, nullptr)) {
      const DWORD deviceError = CeGetLastError();
      m_hrLastError = static_cast<HRESULT>(deviceError);
      std::u16string name;
      if (deviceError == kErrDiskFull) {
        result = kDiskFull;
      } else if (files::PhoneAttached(&name)) {
        result = kFailed;
      } else {
        files::WriteDeleteInfo(t.device);
        m_bDisconnected = true;
        result = kGenFailure;
      }
      break;
    }
    done += static_cast<LONG>(got);
    NotifyProgress(done, t.total, &m_nContinue);
    if (m_nContinue == 0 || got == 0) break;
  }
  FILETIME created{}, accessed{}, modified{};
  DATE dates[3] = {0, 0, 0};
  const bool haveTimes = GetFileTime(pc.Get(), &created, &accessed, &modified);
  if (haveTimes) {
    CeSetFileTime(device.Get(), &created, &accessed, &modified);
    FileTimeToOleDate(created, &dates[0]);
    FileTimeToOleDate(accessed, &dates[1]);
    FileTimeToOleDate(modified, &dates[2]);
  }
  pc.Reset();
  device.Reset();
  if (result == kDiskFull) CeDeleteFile(t.device.c_str());
  if (m_nContinue == 0) {
    if (!CeDeleteFile(t.device.c_str())) RecordTransportError();
    m_nContinue = 1;
  }
  if (result != 0) return result;
  if (m_pColumns && m_pColumns->GetCount() >= kFileColumnCount) {
    EnsureValues();
    const ULONG dateColumns[3] = {kColCreateDate, kColLastAccessDate, kColLastWriteDate};
    for (int i = 0; i < 3; ++i)
      if (haveTimes) CopyIntoColumn(dateColumns[i], Variant::Date(UtcToLocal(dates[i])).Get());
    CopyIntoColumn(kColStatus, Variant::I4(1).Get());
    CopyIntoColumn(kColNotAllowedOperation, Variant::I4(0).Get());
  }
  return 0;
}

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

HRESULT CItemWMFile::ReadBlobTo(ULONG, BSTR) {
  return TableMethodFrame("CItemWMFile::ReadBlobTo", kSource, __LINE__, [&] {
    const HRESULT result = Download(Prepare());
    if (result != 0) ThrowWmError(result);
    return m_bDisconnected ? kGenFailure : S_OK;
  });
}

HRESULT CItemWMFile::WriteBlobFrom(ULONG, BSTR) {
  return TableMethodFrame("CItemWMFile::WriteBlobFrom", kSource, __LINE__, [&] {
    const HRESULT result = Upload(Prepare());
    if (result != 0) ThrowWmError(result);
    return m_bDisconnected ? kGenFailure : S_OK;
  });
}

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
