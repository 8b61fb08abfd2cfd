// CDataTableWMFile: the file table (DTID_FILE).
// The phone's file system as three kinds of items, each with a column set of its own kept in
// the table's own fields: the memory information item, folders and files. The host's
// IHostModelDBFiles arrives right after creation. The table will serve the listing (also by
// folder and the second listing form), NewItem, CreateItem, UpdateItem, DeleteItem and
// ReadItem; until then every IDataTable method answers E_NOTIMPL.
#pragma once

#include "core/DataTableWMBase.h"

namespace qwb {

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

 protected:
  ~CDataTableWMFile() override;

 private:
  ComPtr<CColumnsWM> m_pFileInfoColumns;
  ComPtr<CColumnsWM> m_pFolderColumns;
  ComPtr<CColumnsWM> m_pFileColumns;
  ComPtr<IHostModelDBFiles> m_pModelDBFiles;
};

}  // namespace qwb
