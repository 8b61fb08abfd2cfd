#include "tables/files/DataTableWMFile.h"

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

}  // namespace qwb
