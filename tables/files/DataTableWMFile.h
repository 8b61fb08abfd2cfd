// CDataTableWMFile: the file table (DTID_FILE).
// The phone's file system as three kinds of items, each with a column set of its own kept in
// the table's own fields: one memory information item, the folders and the files. Listing
// walks the device with the remote find calls:
//   ListItemsAllBegin   the root and one more level below "My Documents" and the card roots
//   ListItemsAllBegin2  the root and the card roots shown under "\", "*" and "*2"
//   ListChildItemsBegin one folder's subfolders and files
// NextItem hands out the memory item, then every folder, then every file. The table also
// creates, renames, copies, moves and deletes files and folders (FileOperations.cpp), and a
// full listing first deletes the device file a broken upload left behind (delete-info file).
//
// Invariants: FolderIDs come from the module-wide counter, never reused within a process;
// the lists are replaced as a whole by each listing; a RAPI file call that fails leaves its
// transport error in m_hrLastError, and a lost connection also sets m_bDisconnected.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "wincompat/rapi.h"

namespace qwb {

class CItemWMBase;
class CItemWMFile;

class CDataTableWMFile : public CDataTableWMBase {
 public:
  CDataTableWMFile();

  // Keeps (counted) the host's model database files object, or none.
  void SetHostModelDBFiles(IHostModelDBFiles* pFiles);
  // Asks the host's model database for IHostModelDBFiles and keeps the answer; E_NOINTERFACE
  // leaves the table without it, another failure is raised as a _com_error.
  void AttachModelDB(IHostModelDB* pModelDB) override;
  IHostModelDBFiles* GetHostModelDBFiles() const { return m_pModelDBFiles.Get(); }

  CColumnsWM* GetFileInfoColumns() const { return m_pFileInfoColumns.Get(); }
  CColumnsWM* GetFolderColumns() const { return m_pFolderColumns.Get(); }
  CColumnsWM* GetFileColumns() const { return m_pFileColumns.Get(); }

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE ListItemsAllBegin2() override;
  HRESULT STDMETHODCALLTYPE ListChildItemsBegin(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE ReadItem(IItem* pItem) override;

  HRESULT GetLastTransportError() const { return m_hrLastError; }
  bool IsDisconnected() const { return m_bDisconnected; }

 protected:
  ~CDataTableWMFile() override;

 private:
  // ---- Listing (DataTableWMFile.cpp) ----
  void FullListing(bool secondForm);
  HRESULT WalkRoot(bool secondForm);
  // Folders only / files only / both with the card pseudo names (see the .cpp).
  HRESULT SearchFolders(const std::u16string& path, LONG parentId);
  HRESULT SearchFiles(const std::u16string& path, ULONG folderId);
  HRESULT SearchRoot(const std::u16string& path, LONG parentId, ULONG folderIdOfFiles);
  // True while the phone is attached; otherwise the disconnection is logged under `where`
  // and recorded (m_bDisconnected, m_hrLastError).
  bool Attached(const char* where);
  // Every entry of a folder, in the phone's order. `visit` returning false stops the walk
  // with the generic failure; the end of the walk gives the recorded transport error.
  HRESULT ForEachEntry(const std::u16string& path,
                       const std::function<bool(const CE_FIND_DATA&)>& visit);
  void FillMemoryInfo(bool withNames);
  void DeletePendingDeviceFile();
  void FreeLists();

  // ---- Shared with the operations ----
  // Reads the PC's last error into m_hrLastError (and m_bDisconnected); returns it.
  HRESULT RecordTransportError();
  // A folder's field map as the listing builds it; takes the next FolderID.
  FieldMap MakeFolderMap(const CE_FIND_DATA& fd, const std::u16string& shownName,
                         const std::u16string& parentPath, LONG parentId, ULONG marks);
  FieldMap MakeFileMap(const CE_FIND_DATA& fd, const std::u16string& parentPath, ULONG folderId,
                       ULONG marks, bool toLocal);
  ComPtr<CItemWMFile> MakeFileItem();
  std::u16string Probe();
  std::u16string HostPathToDevice(const std::u16string& hostPath);

  // ---- Operations (FileOperations.cpp); each answers a module error code, 0 on success ----
  HRESULT CreateFolder(CItemWMBase* item, const FieldMap& map);
  HRESULT RenameObject(const FieldMap& map);
  HRESULT FileOperation(const FieldMap& map, const std::u16string& operation);
  HRESULT DeleteFileObject(const FieldMap& map);
  HRESULT DeleteFolderObject(const FieldMap& map);
  HRESULT RemoveTree(const std::u16string& path);
  HRESULT CopyTree(const std::u16string& from, const std::u16string& to);
  std::u16string ObjectPath(const FieldMap& map);

  ComPtr<CColumnsWM> m_pFileInfoColumns;
  ComPtr<CColumnsWM> m_pFolderColumns;
  ComPtr<CColumnsWM> m_pFileColumns;
  ComPtr<IHostModelDBFiles> m_pModelDBFiles;

  std::vector<FieldMap> m_vFolders;
  std::vector<FieldMap> m_vFiles;
  FieldMap m_mapMemory;
  bool m_bLoaded = false;
  bool m_bInfoReturned = false;
  LONG m_nFolderIndex = 0, m_nFolderCount = 0;
  LONG m_nFileIndex = 0, m_nFileCount = 0;
  HRESULT m_hrLastError = S_OK;
  bool m_bDisconnected = false;
  // The probe's answer within one operation (asked at most once per listing).
  std::u16string m_strProbe;
  bool m_bProbed = false;
};

}  // namespace qwb
