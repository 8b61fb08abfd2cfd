#include "tables/files/DataTableWMFile.h"

#include <cstdio>

#include "core/DeviceDataWM.h"
#include "core/Errors.h"
#include "core/ItemWMFileInfo.h"
#include "core/ItemWMFolder.h"
#include "core/Log.h"
#include "tables/files/FileStorage.h"
#include "tables/files/ItemWMFile.h"
#include "tables/organizer/TimeConv.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace qwb {

using files::ModuleState;

namespace {

constexpr char kSource[] = ".\\DataTableWMFile.cpp";
constexpr HRESULT kGenFailure = static_cast<HRESULT>(0x8007001Fu);
constexpr ULONG kMarkProbeCard = 0x23, kMarkFirstCard = 0x203, kMarkSecondCard = 0x403;
constexpr ULONG kInProbeCard = 0x20, kInFirstCard = 0x200, kInSecondCard = 0x400;

// Whether a searched path lies in the root folder `folder` (the folder itself or below it),
// comparing whole names without case: "\Storage Card2" is not inside "Storage Card".
bool InRootFolder(std::u16string_view path, std::u16string_view folder) {
  if (folder.empty() || path.size() < folder.size() + 1 || path[0] != u'\\') return false;
  if (!EqualsNoCase(path.substr(1, folder.size()), folder)) return false;
  return path.size() == folder.size() + 1 || path[folder.size() + 1] == u'\\';
}
bool Contains(std::u16string_view s, std::u16string_view part) {
  return s.find(part) != std::u16string_view::npos;
}

std::u16string SearchPattern(const std::u16string& path) {
  return path + (!path.empty() && path.back() == u'\\' ? u"*.*" : u"\\*.*");
}
std::u16string ChildPath(const std::u16string& parent, std::u16string_view name) {
  return parent + (!parent.empty() && parent.back() == u'\\' ? u"" : u"\\") + std::u16string(name);
}

// A find-data time through DOS date and time (2-second precision) as an OLE date.
bool DosRoundedDate(const FILETIME& ft, DATE* out) {
  WORD dosDate = 0, dosTime = 0;
  FILETIME rounded;
  SYSTEMTIME st;
  double d = 0;
  if (!FileTimeToDosDateTime(&ft, &dosDate, &dosTime) ||
      !DosDateTimeToFileTime(dosDate, dosTime, &rounded) || !FileTimeToSystemTime(&rounded, &st) ||
      !SystemTimeToVariantTime(&st, &d))
    return false;
  *out = d;
  return true;
}

Variant FolderDateText(const FILETIME& ft) {
  DATE d = 0;
  OleDateParts p{};
  if (!DosRoundedDate(ft, &d) || !SplitOleDate(d, &p)) return Variant::Str(u"Invalid DateTime");
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return Variant::Str(FromUtf8(text));
}

Variant FileDate(const FILETIME& ft, bool toLocal) {
  DATE d = 0;
  if (!DosRoundedDate(ft, &d)) return Variant::R8(0);
  return Variant::R8(toLocal ? UtcToLocal(d) : d);
}

// The size columns read "%I64u" text.
Variant SizeText(ULONGLONG n) { return Variant::Str(FromUtf8(std::to_string(n))); }

void LogDisconnection(const char* where, const std::u16string& name) {
  WMLog("~~~~~ %s !!!! DisConnection from Phone to USB Cable !!!! Phone Name = [%s] ~~~~~\n", where,
        ToUtf8(name).c_str());
}

}  // namespace

CDataTableWMFile::CDataTableWMFile()
    : m_pFileInfoColumns(CItemWMFileInfo::CreateColumns()),
      m_pFolderColumns(CItemWMFolder::CreateColumns()),
      m_pFileColumns(CItemWMFile::CreateColumns()) {}

CDataTableWMFile::~CDataTableWMFile() = default;

void CDataTableWMFile::SetHostModelDBFiles(IHostModelDBFiles* pFiles) {
  m_pModelDBFiles = ComPtr<IHostModelDBFiles>(pFiles);
}

void CDataTableWMFile::AttachModelDB(IHostModelDB* pModelDB) {
  if (!pModelDB) return;
  ComPtr<IHostModelDBFiles> files;
  HRESULT hr = pModelDB->QueryInterface(IID_IHostModelDBFiles,
                                        reinterpret_cast<void**>(files.ReleaseAndGetAddressOf()));
  if (FAILED(hr) && hr != E_NOINTERFACE) ThrowComError(hr, pModelDB, IID_IHostModelDBFiles);
  SetHostModelDBFiles(files.Get());
}

HRESULT CDataTableWMFile::RecordTransportError() {
  m_hrLastError = files::LastTransportError();
  if (files::IsDisconnection(m_hrLastError)) m_bDisconnected = true;
  return m_hrLastError;
}

std::u16string CDataTableWMFile::Probe() {
  if (!m_bProbed) {
    m_strProbe = files::ProbeStorageCardFolder();
    m_bProbed = true;
  }
  return m_strProbe;
}

std::u16string CDataTableWMFile::HostPathToDevice(const std::u16string& hostPath) {
  const auto& cards = ModuleState().cards;
  return files::ConvertHostPath(hostPath, [this] { return Probe(); }, cards.first, cards.second)
      .folder;
}

ComPtr<CItemWMFile> CDataTableWMFile::MakeFileItem() {
  ComPtr<CItemWMFile> item = CItemWMFile::Create(m_pDeviceData);
  item->SetColumns(m_pFileColumns.Get());
  return item;
}

FieldMap CDataTableWMFile::MakeFolderMap(const CE_FIND_DATA& fd, const std::u16string& shownName,
                                         const std::u16string& parentPath, LONG parentId,
                                         ULONG marks) {
  FieldMap m;
  PutField(m, u"Name", Variant::Str(shownName));
  PutField(m, u"PARENT_PATH", Variant::Str(parentPath));
  PutField(m, u"FolderID", Variant::UI4(++ModuleState().folderIdCounter));
  PutField(m, u"ParentID", Variant::I4(parentId));
  // Entries with the directory attribute directly inside it.
  LONG subFolders = 0;
  CE_FIND_DATA sub{};
  HANDLE h = CeFindFirstFile(SearchPattern(ChildPath(parentPath, fd.cFileName)).c_str(), &sub);
  if (h == INVALID_HANDLE_VALUE) {
    RecordTransportError();
  } else {
    do {
      if (sub.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ++subFolders;
    } while (CeFindNextFile(h, &sub));
    RecordTransportError();
    CeFindClose(h);
  }
  PutField(m, u"SubFolderCount", Variant::I4(subFolders));
  PutField(m, u"CreateDate", FolderDateText(fd.ftCreationTime));
  PutField(m, u"LastAccessDate", FolderDateText(fd.ftLastAccessTime));
  PutField(m, u"LastWriteDate", FolderDateText(fd.ftLastWriteTime));
  const ULONG status = marks | files::StatusBitsFromAttributes(fd.dwFileAttributes);
  PutField(m, u"Status", Variant::UI4(status));
  Variant notAllowed = (status & 4)         ? Variant::UI4(967)
                       : (status & (8 | 16)) ? Variant::UI4(7)
                                             : Variant::I4(0);
  const bool seven = notAllowed.vt() == VT_UI4 && notAllowed.Get().ulVal == 7;
  PutField(m, u"NotAllowedOperation", notAllowed);
  PutField(m, u"StatusIcon", Variant::I4((status & 4) ? 7 : seven ? 3 : 0));
  PutField(m, u"LimitFileType", Variant::I4(0));
  PutField(m, u"LimitSize", Variant::I4(0));
  PutField(m, u"LimitFileCount", Variant::I4(0));
  return m;
}

FieldMap CDataTableWMFile::MakeFileMap(const CE_FIND_DATA& fd, const std::u16string& parentPath,
                                       ULONG folderId, ULONG marks, bool toLocal) {
  FieldMap m;
  PutField(m, u"Name", Variant::Str(fd.cFileName));
  PutField(m, u"PARENT_PATH", Variant::Str(parentPath));
  PutField(m, u"FolderID", Variant::UI4(folderId));
  PutField(m, u"Type", Variant::I4(0));
  PutField(m, u"FileSize", Variant::UI4(fd.nFileSizeLow - fd.nFileSizeHigh));
  PutField(m, u"CreateDate", FileDate(fd.ftCreationTime, toLocal));
  PutField(m, u"LastAccessDate", FileDate(fd.ftLastAccessTime, toLocal));
  PutField(m, u"LastWriteDate", FileDate(fd.ftLastWriteTime, toLocal));
  const ULONG status = 1 | marks | files::StatusBitsFromAttributes(fd.dwFileAttributes);
  PutField(m, u"Status", Variant::UI4(status));
  const bool limited = status & (4 | 8 | 16);
  PutField(m, u"NotAllowedOperation", limited ? Variant::UI4(963) : Variant::I4(0));
  PutField(m, u"StatusIcon", Variant::I4((status & 4) ? 7 : limited ? 3 : 0));
  return m;
}

bool CDataTableWMFile::Attached(const char* where) {
  std::u16string name;
  if (files::PhoneAttached(&name)) return true;
  LogDisconnection(where, name);
  m_bDisconnected = true;
  m_hrLastError = kGenFailure;
  return false;
}

HRESULT CDataTableWMFile::ForEachEntry(const std::u16string& path,
                                       const std::function<bool(const CE_FIND_DATA&)>& visit) {
  CE_FIND_DATA fd{};
  HANDLE h = CeFindFirstFile(SearchPattern(path).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return RecordTransportError();
  do {
    if (!visit(fd)) {
      CeFindClose(h);
      return kGenFailure;
    }
  } while (CeFindNextFile(h, &fd));
  const HRESULT hr = RecordTransportError();
  CeFindClose(h);
  return hr;
}

// Folders only: one field map per entry with the directory attribute.
HRESULT CDataTableWMFile::SearchFolders(const std::u16string& path, LONG parentId) {
  if (!Attached("GetFolderList")) return kGenFailure;
  return ForEachEntry(path, [&](const CE_FIND_DATA& fd) {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      m_vFolders.push_back(MakeFolderMap(fd, fd.cFileName, path, parentId, 0));
    return true;
  });
}

// Files only; every name also goes to the standard output.
HRESULT CDataTableWMFile::SearchFiles(const std::u16string& path, ULONG folderId) {
  if (!Attached("GetFileList")) return kGenFailure;
  return ForEachEntry(path, [&](const CE_FIND_DATA& fd) {
    const std::string shown = ToUtf8(fd.cFileName);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      wincompat::ConsoleWrite("[" + shown + "]\n");
    } else {
      wincompat::ConsoleWrite(shown + "\n");
      m_vFiles.push_back(MakeFileMap(fd, path, folderId, 0, true));
    }
    return true;
  });
}

// Folders and files in one pass. The storage card folders of the root show under their
// pseudo names; entries below a card carry that card's mark. Card folders are recognised by
// their whole name, without case.
HRESULT CDataTableWMFile::SearchRoot(const std::u16string& path, LONG parentId,
                                     ULONG folderIdOfFiles) {
  if (!Attached("GetFolderAndFileList(1)")) return kGenFailure;
  const auto& cards = ModuleState().cards;
  const std::u16string probe = Probe();
  ULONG inherited = 0;
  if (probe != files::kNoStorageCard && InRootFolder(path, probe)) {
    inherited = kInProbeCard;
  } else if (cards.state == 2 && InRootFolder(path, cards.second)) {
    inherited = kInSecondCard;
  } else if (InRootFolder(path, cards.first)) {
    inherited = kInFirstCard;
  }
  const bool atRoot = path == u"\\";
  return ForEachEntry(path, [&](const CE_FIND_DATA& fd) {
    const std::u16string entry = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      constexpr DWORD kCardRoot = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
      if (atRoot && EqualsNoCase(entry, u"Windows") && fd.dwFileAttributes == 0x14) {
        // The system folder is not shown.
      } else if (atRoot && EqualsNoCase(entry, probe) &&
                 (fd.dwFileAttributes & kCardRoot) == kCardRoot) {
        m_vFolders.push_back(MakeFolderMap(fd, u"\\", path, parentId, kMarkProbeCard));
      } else if (atRoot && cards.state == 2 && !cards.second.empty() &&
                 EqualsNoCase(entry, cards.second)) {
        m_vFolders.push_back(MakeFolderMap(fd, u"*2", path, parentId, kMarkSecondCard));
      } else if (atRoot && (cards.state == 1 || cards.state == 2) && !cards.first.empty() &&
                 EqualsNoCase(entry, cards.first)) {
        m_vFolders.push_back(MakeFolderMap(fd, u"*", path, parentId, kMarkFirstCard));
      } else {
        m_vFolders.push_back(MakeFolderMap(fd, entry, path, parentId, inherited));
      }
    } else {
      m_vFiles.push_back(MakeFileMap(fd, path, folderIdOfFiles, inherited, false));
    }
    return Attached("GetFolderAndFileList-(5)");
  });
}

HRESULT CDataTableWMFile::WalkRoot(bool secondForm) {
  const size_t firstRoot = m_vFolders.size();
  HRESULT hr = SearchRoot(u"\\", 0, 0);
  if (FAILED(hr) || m_bDisconnected) return FAILED(hr) ? hr : m_hrLastError;
  const size_t rootCount = m_vFolders.size() - firstRoot;
  const auto& cards = ModuleState().cards;
  bool myDocumentsDescended = false, hasMyDocuments = false;
  for (size_t i = 0; i < rootCount; ++i) {
    // Copies: the searches below grow the folder list.
    const std::u16string name = ReadFieldString(m_vFolders[firstRoot + i], u"Name");
    const ULONG id = ReadFieldUI4(m_vFolders[firstRoot + i], u"FolderID", 0);
    std::u16string path;
    if (name == u"\\") {
      path = files::RootFolder(Probe());
    } else if (name == u"*2") {
      path = files::RootFolder(cards.second);
    } else if (name == u"*") {
      path = files::RootFolder(cards.first);
    } else {
      path = files::RootFolder(name);
    }
    if (EqualsNoCase(name, u"My Documents")) hasMyDocuments = true;
    bool descend;
    if (secondForm) {
      descend = name == u"*" || name == u"*2" || name == u"\\";
    } else {
      descend = Contains(path, u"My Documents") ||
                (!cards.first.empty() && EqualsNoCase(path, files::RootFolder(cards.first))) ||
                (!cards.first.empty() && Contains(path, cards.first + u"\\DCIM")) ||
                EqualsNoCase(path, u"\\Storage Card") || Contains(path, u"Storage Card\\DCIM");
    }
    if (!descend) continue;
    if (EqualsNoCase(name, u"My Documents")) myDocumentsDescended = true;
    hr = SearchRoot(path, static_cast<LONG>(id), id);
    if (FAILED(hr) || m_bDisconnected) return FAILED(hr) ? hr : m_hrLastError;
  }
  // The files of My Documents come with its descent; without one they are listed here.
  if (hasMyDocuments && !myDocumentsDescended) {
    ULONG id = 0;
    for (size_t i = 0; i < rootCount; ++i)
      if (EqualsNoCase(ReadFieldString(m_vFolders[firstRoot + i], u"Name"), u"My Documents"))
        id = ReadFieldUI4(m_vFolders[firstRoot + i], u"FolderID", 0);
    hr = SearchFiles(u"\\My Documents", id);
    if (FAILED(hr) || m_bDisconnected) return FAILED(hr) ? hr : m_hrLastError;
  }
  return S_OK;
}

void CDataTableWMFile::FillMemoryInfo(bool withNames) {
  const auto& cards = ModuleState().cards;
  auto sizes = [&](const std::u16string& folder, const char16_t* sizeColumn,
                   const char16_t* useColumn) {
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (!CeGetDiskFreeSpaceEx(folder.c_str(), &freeToCaller, &total, &totalFree)) {
      RecordTransportError();
      total.QuadPart = totalFree.QuadPart = 0;
    }
    PutField(m_mapMemory, sizeColumn, SizeText(total.QuadPart));
    PutField(m_mapMemory, useColumn, SizeText(total.QuadPart - totalFree.QuadPart));
  };
  PutField(m_mapMemory, u"PacketSize", Variant::I4(8192));
  PutField(m_mapMemory, u"CodeSchema", Variant::I4(3));
  for (const char16_t* c : {u"MaxFolderDepth", u"MaxExtFolderDepth", u"DeviceAttribute"})
    PutField(m_mapMemory, c, Variant::I4(0));
  PutField(m_mapMemory, u"FileNameLength", Variant::I4(255));
  PutField(m_mapMemory, u"FolderNameLength", Variant::I4(255));
  if (withNames) {
    const bool firstSet = !cards.first.empty(), secondSet = !cards.second.empty();
    bool write = true;
    std::u16string second, third;
    if (cards.state == 2) {
      write = firstSet && secondSet;
      second = cards.first;
      third = cards.second;
    } else if (cards.state == 1) {
      write = firstSet != secondSet;
      second = firstSet ? cards.first : cards.second;
    }
    if (write) {
      PutField(m_mapMemory, u"MemoryName", Variant::Str(u""));
      PutField(m_mapMemory, u"Memory2Name", Variant::Str(second));
      PutField(m_mapMemory, u"Memory3Name", Variant::Str(third));
      const Variant folder = Variant::Str(cards.state == 0 ? u"/My Documents" : u"/*");
      for (const char16_t* c : {u"DefaultMusicFolder", u"DefaultVideoFolder",
                                u"DefaultPictureFolder", u"DefaultOtherFolder"})
        PutField(m_mapMemory, c, folder);
    }
  }
  sizes(u"\\", u"MemorySize", u"MemoryUse");
  if (cards.state == 1 || cards.state == 2) sizes(files::RootFolder(cards.first), u"Memory2Size", u"Memory2Use");
  if (cards.state == 2) {
    sizes(files::RootFolder(cards.second), u"Memory3Size", u"Memory3Use");
  } else if (cards.state == 1) {
    PutField(m_mapMemory, u"Memory3Size", Variant::I4(0));
    PutField(m_mapMemory, u"Memory3Use", Variant::I4(0));
  }
  const std::u16string probe = Probe();
  if (probe == files::kNoStorageCard) {
    PutField(m_mapMemory, u"ExtMemorySize", Variant::Str(u"0"));
    PutField(m_mapMemory, u"ExtMemoryUse", Variant::Str(u"0"));
  } else {
    sizes(files::RootFolder(probe), u"ExtMemorySize", u"ExtMemoryUse");
  }
}

void CDataTableWMFile::DeletePendingDeviceFile() {
  const std::u16string devicePath = files::ReadDeleteInfo();
  if (devicePath.empty()) return;
  if (CeDeleteFile(devicePath.c_str())) DeleteFileW(files::DeleteInfoPath().c_str());
}

void CDataTableWMFile::FreeLists() {
  m_vFolders.clear();
  m_vFiles.clear();
  m_nFolderCount = m_nFileCount = 0;
  m_nFolderIndex = m_nFileIndex = 0;
}

void CDataTableWMFile::FullListing(bool secondForm) {
  m_hrLastError = S_OK;
  m_bDisconnected = false;
  m_bProbed = false;
  DeletePendingDeviceFile();
  ModuleState().cards = {};
  ModuleState().cards = files::DetectStorageCards(files::DeviceRegistryReader());
  m_bLoaded = true;
  FreeLists();
  if (secondForm) ModuleState().folderIdCounter = 0;
  const HRESULT hr = WalkRoot(secondForm);
  if (FAILED(hr)) ThrowWmError(hr);
  FillMemoryInfo(true);
  m_nFolderCount = static_cast<LONG>(m_vFolders.size());
  m_nFileCount = static_cast<LONG>(m_vFiles.size());
  m_bInfoReturned = false;
  m_nFolderIndex = m_nFileIndex = 0;
}

HRESULT CDataTableWMFile::ListItemsAllBegin() {
  return TableMethodFrame("CDataTableWMFile::ListItemsAllBegin", kSource, __LINE__, [&] {
    WMLog("CDataTableWMFile::ListItemsAllBegin");
    FullListing(false);
    return S_OK;
  });
}

HRESULT CDataTableWMFile::ListItemsAllBegin2() {
  return TableMethodFrame("CDataTableWMFile::ListItemsAllBegin2", kSource, __LINE__, [&] {
    WMLog("CDataTableWMFile::ListItemsAllBegin2");
    FullListing(true);
    return S_OK;
  });
}

HRESULT CDataTableWMFile::ListChildItemsBegin(IItem* pItem) {
  return TableMethodFrame("CDataTableWMFile::ListChildItemsBegin", kSource, __LINE__, [&] {
    WMLog("CDataTableWMFile::ListChildItemsBegin");
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_POINTER;
    ComPtr<IItem> hold(pItem);
    FieldMap map;
    item->SchemaConvertItem2Map(map);
    m_hrLastError = S_OK;
    m_bDisconnected = false;
    m_bProbed = false;
    FreeLists();
    const std::u16string path = HostPathToDevice(ReadFieldString(map, u"Reserved1"));
    const LONG folderId = ReadFieldI4(map, u"FolderID", 0);
    HRESULT hr = SearchFolders(path, folderId);
    if (SUCCEEDED(hr) && !m_bDisconnected) hr = SearchFiles(path, static_cast<ULONG>(folderId));
    if (SUCCEEDED(hr) && m_bDisconnected) hr = m_hrLastError;
    if (FAILED(hr)) {
      WMLog("~~~~~ ListChildItemsBegin !!!! DisConnection from Phone to USB Cable !!!! hr Error = "
            "[%x] ~~~~~\n",
            static_cast<unsigned>(hr));
      ThrowWmError(hr);
    }
    FillMemoryInfo(false);
    m_bLoaded = true;
    m_nFolderCount = static_cast<LONG>(m_vFolders.size());
    m_nFileCount = static_cast<LONG>(m_vFiles.size());
    m_bInfoReturned = false;
    m_nFolderIndex = m_nFileIndex = 0;
    return S_OK;
  });
}

HRESULT CDataTableWMFile::NextItem(IItem** ppItem) {
  return TableMethodFrame("CDataTableWMFile::NextItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (!m_bLoaded) return S_OK;
    if (!m_bInfoReturned) {
      auto info = MakeItem<CItemWMFileInfo>();
      info->SetColumns(m_pFileInfoColumns.Get());
      info->SchemaConvertMap2Item(m_mapMemory);
      m_bInfoReturned = true;
      info->AsItem()->AddRef();
      *ppItem = info->AsItem();
    } else if (m_nFolderIndex < m_nFolderCount) {
      auto folder = MakeItem<CItemWMFolder>();
      folder->SetColumns(m_pFolderColumns.Get());
      folder->SchemaConvertMap2Item(m_vFolders[m_nFolderIndex++]);
      folder->AsItem()->AddRef();
      *ppItem = folder->AsItem();
    } else if (m_nFileIndex < m_nFileCount) {
      ComPtr<CItemWMFile> file = MakeFileItem();
      file->SchemaConvertMap2Item(m_vFiles[m_nFileIndex++]);
      file->AsItem()->AddRef();
      *ppItem = file->AsItem();
    } else {
      ListItemsEnd();
      return S_OK;
    }
    std::u16string name;
    if (!files::PhoneAttached(&name)) ThrowWmError(kGenFailure);
    return S_OK;
  });
}

HRESULT CDataTableWMFile::ListItemsEnd() {
  FreeLists();
  return S_OK;
}

HRESULT CDataTableWMFile::NewItem(DCADATATYPE type, SUID itemSuid, SUID, IItem** ppItem) {
  return TableMethodFrame("CDataTableWMFile::NewItem", kSource, __LINE__, [&] {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    ComPtr<CItemWMBase> item;
    if (type == DCADT_FILE_INFO) {
      item = ComPtr<CItemWMBase>(MakeItem<CItemWMFileInfo>().Get());
      item->SetColumns(m_pFileInfoColumns.Get());
    } else if (type == DCADT_FOLDER) {
      item = ComPtr<CItemWMBase>(MakeItem<CItemWMFolder>().Get());
      item->SetColumns(m_pFolderColumns.Get());
    } else if (type == DCADT_FILE) {
      item = ComPtr<CItemWMBase>(MakeFileItem().Get());
    } else {
      return S_OK;
    }
    if (itemSuid != SUID_NULL) item->SetSUID(itemSuid);
    item->AsItem()->AddRef();
    *ppItem = item->AsItem();
    return S_OK;
  });
}

HRESULT CDataTableWMFile::ReadItem(IItem* pItem) {
  return TableMethodFrame("CDataTableWMFile::ReadItem", kSource, __LINE__, [&] {
    WMLog("CDataTableWMFile::ReadItem");
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_POINTER;
    m_bProbed = false;
    FillMemoryInfo(true);
    item->SchemaConvertMap2Item(m_mapMemory);
    return S_OK;
  });
}

}  // namespace qwb
