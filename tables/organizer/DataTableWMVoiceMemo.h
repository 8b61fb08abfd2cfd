// CDataTableWMVoiceMemo: the voice memo table (DTID_VOICEMEMO). Read-only: it finds the
// recordings ("amr" files) in the AudioNote folders of the storage card (when the device
// link's storage probe finds one) and of main memory, copies each into the local folder
// <application data>/Tolvane/Orvanta/Voice_Memo_WM and lists one voice memo item per copy,
// the card's first. It uses the remote file calls directly, not the device-side service.
//
//  column        value
//  SUID          the item's position in the copied list (VT_I4)
//  FILE_PATH     the local copy's full path
//  CREATE_DATE   the device file's creation time, as it is (no time zone conversion)
//  MODE          "home"
//  NAME, ATTRIBUTE  left unset
//
// Every listing copies every recording again, replacing older copies; copies are never
// deleted. A missing AudioNote folder fails the listing; a recording that does not copy is
// left out; an unusable local folder gives an empty listing.
#pragma once

#include <string>
#include <vector>

#include "core/DataTableWMBase.h"
#include "wincompat/rapi.h"

namespace qwb {

// Invariants (hold between any two calls of the host):
//  - m_vDeviceFiles holds the recordings the last ListItemsAllBegin found (card first), and
//    m_vCopied the ones of them copied into the local folder, in the same order; both are
//    empty before the first listing and after a failed one.
//  - m_nTotal == m_vCopied.size() after a successful begin, and m_nIndex is in
//    [0, m_nTotal]: the SUID of the item NextItem returns next.
//  - m_bListing is true from a successful begin (or a GetItemCount before any listing, which
//    answers 0 without searching the phone) until ListItemsEnd or a failed NextItem.
class CDataTableWMVoiceMemo : public CDataTableWMBase {
 public:
  CDataTableWMVoiceMemo();

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;

  // One recording: its path (the device path while searching, the local copy's in the
  // copied list), a word the columns do not use, its size, 0, its creation time.
  struct FileRecord {
    std::u16string path;
    DWORD unused = 0;
    DWORD size = 0;
    DWORD zero = 0;
    FILETIME created{};
  };

  // Whether a search result is a recording: not a folder, extension "amr" in any case.
  static bool IsRecording(const CE_FIND_DATA& found);
  // The local folder: $APPDATA + "/Tolvane/Orvanta/Voice_Memo_WM".
  static std::u16string LocalFolder();
  // Copies one device file to `local` in 102400-byte blocks. S_OK when copied, or when the
  // file is empty (nothing is copied then); otherwise the failure.
  static HRESULT CopyDeviceFile(const std::u16string& device, const std::u16string& local);

  const std::vector<FileRecord>& DeviceFiles() const { return m_vDeviceFiles; }

 protected:
  ~CDataTableWMVoiceMemo() override;

 private:
  // Appends the recordings of one AudioNote folder ("\\...\\AudioNote\\*.*"); a failing
  // search raises the PC's last error.
  void SearchFolder(const std::u16string& pattern);

  std::vector<FileRecord> m_vDeviceFiles;
  std::vector<FileRecord> m_vCopied;
};

}  // namespace qwb
