#include "tables/files/DataTableWMFile.h"

#include "core/Errors.h"
#include "core/ItemWMFileInfo.h"
#include "core/ItemWMFolder.h"
#include "tables/files/ItemWMFile.h"

namespace qwb {

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

}  // namespace qwb
