// The file table's operations on the phone: create folders, rename, copy, move and delete
// files and folders. Each works from the item's field map and answers a module error code
// (0 success, 1 a failed device call, 12007 disk full, 13005 access denied on a rename, 13015
// path too long, 13042 access denied creating a folder) or an HRESULT from the device's error.
#include <optional>

#include "core/Errors.h"
#include "core/ItemWMBase.h"
#include "core/Log.h"
#include "tables/files/DataTableWMFile.h"
#include "tables/files/FileStorage.h"
#include "tables/files/ItemWMFile.h"

namespace qwb {

using files::ModuleState;

namespace {

constexpr char kSource[] = ".\\DataTableWMFile.cpp";
constexpr HRESULT kPathTooLong = 13015, kFailed = 1, kDiskFull = 12007, kRenameDenied = 13005,
                  kCreateDenied = 13042;
constexpr DWORD kErrAccessDenied = 5, kErrDiskFull = 112, kErrAlreadyExists = 183;

HRESULT FromDeviceError(DWORD code) {
  return static_cast<LONG>(code) <= 0 ? static_cast<HRESULT>(code)
                                      : static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}

bool TooLong(const std::u16string& path) { return path.size() >= files::kMaxPathChars; }

std::u16string Child(const std::u16string& folder, const WCHAR* name) {
  return folder + u"\\" + std::u16string(name);
}

// What every write does around its operation, within the table method frame: the item's own
// object, its type and field map, and the cached storage-card probe dropped (a write changes
// the phone's folders). `op` answers the operation's module error code (0: done; otherwise
// thrown as the module's error), or nothing for a type it has no operation for: the method
// then answers `otherType`.
template <class Op>
HRESULT WriteMethod(const char* method, int line, IItem* pItem, bool& probed, HRESULT otherType,
                    Op op) {
  return TableMethodFrame(method, kSource, line, [&] {
    WMLog("%s", method);
    CItemWMBase* item = CItemWMBase::FromItem(pItem);
    if (!item) return E_POINTER;
    DCADATATYPE type = DCADT_ALL;
    item->getType(&type);
    FieldMap map;
    item->SchemaConvertItem2Map(map);
    probed = false;
    const std::optional<HRESULT> code = op(item, type, map);
    if (!code) return otherType;
    if (*code != 0) ThrowWmError(*code);
    return S_OK;
  });
}

}  // namespace

std::u16string CDataTableWMFile::ObjectPath(const FieldMap& map) {
  return files::JoinDevicePath(HostPathToDevice(ReadFieldString(map, u"Reserved1")),
                               ReadFieldString(map, u"Name"));
}

HRESULT CDataTableWMFile::CreateFolder(CItemWMBase* item, const FieldMap& map) {
  const std::u16string parent = HostPathToDevice(ReadFieldString(map, u"Reserved1"));
  const std::u16string path = files::JoinDevicePath(parent, ReadFieldString(map, u"Name"));
  if (TooLong(path)) return kPathTooLong;
  if (!CeCreateDirectory(path.c_str(), nullptr)) {
    if (CeGetLastError() == kErrAccessDenied) return kCreateDenied;
    RecordTransportError();
    return kFailed;
  }
  CE_FIND_DATA fd{};
  HANDLE h = CeFindFirstFile(path.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    RecordTransportError();
    return kFailed;
  }
  CeFindClose(h);
  FieldMap folder = MakeFolderMap(fd, fd.cFileName, files::BackslashPath(parent),
                                  ReadFieldI4(map, u"ParentID", 0), 0);
  item->SchemaConvertMap2Item(folder);
  return 0;
}

HRESULT CDataTableWMFile::RenameObject(const FieldMap& map) {
  const std::u16string folder = HostPathToDevice(ReadFieldString(map, u"Reserved1"));
  const std::u16string from = files::JoinDevicePath(folder, ReadFieldString(map, u"Name"));
  const std::u16string to = files::JoinDevicePath(folder, ReadFieldString(map, u"Reserved2"));
  if (TooLong(from) || TooLong(to)) return kPathTooLong;
  if (!CeMoveFile(from.c_str(), to.c_str())) {
    if (CeGetLastError() == kErrAccessDenied) return kRenameDenied;
    RecordTransportError();
    return kFailed;
  }
  return 0;
}

HRESULT CDataTableWMFile::FileOperation(const FieldMap& map, const std::u16string& operation) {
  if (operation == u"RENAME") return RenameObject(map);
  if (operation == u"SET_WALLPAPER") return 0;
  const std::u16string from = ObjectPath(map);
  const std::u16string to =
      files::BackslashPath(HostPathToDevice(ReadFieldString(map, u"Reserved2")));
  if (operation != u"P2P_COPY" && operation != u"P2P_MOVE" && operation != u"P2P_COPY_FOLDER" &&
      operation != u"P2P_MOVE_FOLDER")
    ThrowHr(E_NOTIMPL);
  if (TooLong(from) || TooLong(to)) return kPathTooLong;
  if (operation == u"P2P_COPY") {
    // Only a full disk is reported; the host refreshes and sees what else happened.
    if (!CeCopyFile(from.c_str(), to.c_str(), FALSE)) {
      const bool transportOk = CeRapiGetError() >= 0;
      const DWORD deviceError = CeGetLastError();
      RecordTransportError();
      if (transportOk && deviceError == kErrDiskFull) return kDiskFull;
    }
    return 0;
  }
  if (operation == u"P2P_MOVE") {
    if (!CeMoveFile(from.c_str(), to.c_str())) {
      RecordTransportError();
      return kFailed;
    }
    return 0;
  }
  const HRESULT copied = CopyTree(from, to);
  if (copied != 0) return copied;
  if (operation == u"P2P_MOVE_FOLDER") return RemoveTree(from);
  return 0;
}

HRESULT CDataTableWMFile::DeleteFileObject(const FieldMap& map) {
  const std::u16string path = ObjectPath(map);
  if (TooLong(path)) return kPathTooLong;
  if (!CeDeleteFile(path.c_str())) {
    const HRESULT hr = FromDeviceError(CeGetLastError());
    const HRESULT transport = files::LastTransportError();
    m_hrLastError = hr;
    // A lost connection leaves the device's error stale: the transport error tells then.
    if (FAILED(transport)) {
      m_hrLastError = transport;
      m_bDisconnected = files::IsDisconnection(transport);
      return transport;
    }
    return hr == S_OK ? kFailed : hr;
  }
  return 0;
}

HRESULT CDataTableWMFile::DeleteFolderObject(const FieldMap& map) {
  const std::u16string path = ObjectPath(map);
  if (TooLong(path)) return kPathTooLong;
  return RemoveTree(path);
}

// Empties the folder depth first, then removes it; only the folder's own removal decides the
// result (what could not be removed inside makes it fail as not empty).
HRESULT CDataTableWMFile::RemoveTree(const std::u16string& path) {
  CE_FIND_DATA fd{};
  HANDLE h = CeFindFirstFile((path + u"\\*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    RecordTransportError();
  } else {
    do {
      const std::u16string child = Child(path, fd.cFileName);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else if (!CeDeleteFile(child.c_str())) {
        RecordTransportError();
      }
    } while (!m_bDisconnected && CeFindNextFile(h, &fd));
    RecordTransportError();
    CeFindClose(h);
  }
  if (!CeRemoveDirectory(path.c_str())) {
    const HRESULT hr = FromDeviceError(CeGetLastError());
    if (FAILED(RecordTransportError())) return m_hrLastError;
    return hr == S_OK ? kFailed : hr;
  }
  return 0;
}

// Creates the destination and copies the source folder's contents into it; a destination
// that already exists is copied into. Entries that fail inside are recorded, not fatal.
HRESULT CDataTableWMFile::CopyTree(const std::u16string& from, const std::u16string& to) {
  if (!CeCreateDirectory(to.c_str(), nullptr)) {
    const DWORD deviceError = CeGetLastError();
    if (FAILED(RecordTransportError())) return m_hrLastError;
    if (deviceError != kErrAlreadyExists) return kFailed;
  }
  CE_FIND_DATA fd{};
  HANDLE h = CeFindFirstFile((from + u"\\*.*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return FAILED(RecordTransportError()) ? m_hrLastError : 0;
  do {
    const std::u16string src = Child(from, fd.cFileName), dst = Child(to, fd.cFileName);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(src, dst);
    } else if (!CeCopyFile(src.c_str(), dst.c_str(), FALSE)) {
      RecordTransportError();
    }
  } while (!m_bDisconnected && CeFindNextFile(h, &fd));
  RecordTransportError();
  CeFindClose(h);
  if (m_bDisconnected) return m_hrLastError;
  // The destination's field map, as a new folder gets one (it takes the next FolderID).
  const size_t slash = to.rfind(u'\\');
  HANDLE hd = CeFindFirstFile(to.c_str(), &fd);
  if (hd != INVALID_HANDLE_VALUE) {
    CeFindClose(hd);
    MakeFolderMap(fd, fd.cFileName, slash == std::u16string::npos ? u"" : to.substr(0, slash), 0,
                  0);
  }
  return 0;
}

HRESULT CDataTableWMFile::CreateItem(IItem* pItem, SUID*) {
  // Only folders are created here; a file reaches the phone by copying.
  return WriteMethod("CDataTableWMFile::CreateItem", __LINE__, pItem, m_bProbed, S_OK,
                     [&](CItemWMBase* item, DCADATATYPE type,
                         const FieldMap& map) -> std::optional<HRESULT> {
                       if (type != DCADT_FOLDER) return std::nullopt;
                       return CreateFolder(item, map);
                     });
}

HRESULT CDataTableWMFile::UpdateItem(IItem* pItem) {
  return WriteMethod("CDataTableWMFile::UpdateItem", __LINE__, pItem, m_bProbed, E_FAIL,
                     [&](CItemWMBase*, DCADATATYPE type,
                         const FieldMap& map) -> std::optional<HRESULT> {
                       if (type == DCADT_FOLDER) return RenameObject(map);
                       if (type == DCADT_FILE)
                         return FileOperation(map, ReadFieldString(map, u"Reserved3"));
                       return std::nullopt;
                     });
}

HRESULT CDataTableWMFile::DeleteItem(IItem* pItem) {
  return WriteMethod("CDataTableWMFile::DeleteItem", __LINE__, pItem, m_bProbed, E_FAIL,
                     [&](CItemWMBase*, DCADATATYPE type,
                         const FieldMap& map) -> std::optional<HRESULT> {
                       if (type == DCADT_FILE) return DeleteFileObject(map);
                       if (type == DCADT_FOLDER) return DeleteFolderObject(map);
                       return std::nullopt;
                     });
}

}  // namespace qwb
