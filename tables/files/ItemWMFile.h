// CItemWMFile: a file on the phone, item type DCADT_FILE. Besides the common item it keeps
// the device data object that created it (uncounted), to which it reports the progress of a
// transfer, and the continue flag a host's progress handler may clear to stop one.
//
// ReadBlobTo copies the phone's file to the PC in 4096-byte device reads; WriteBlobFrom copies
// a PC file to the phone in 102400-byte writes. Progress goes out after every chunk. What a
// broken transfer leaves behind:
//   cancelled by the host    download: no PC file, module error 13; upload: device file gone
//   device disk full         the partial device file is deleted, module error 12007
//   phone gone on download   no PC file, 0x8007001F
//   phone gone on upload     the device path goes to the delete-info file, 0x8007001F; the
//                            next full listing of the file table deletes that device file
//   any other failure        download: no PC file; module error 1 (0x8007001F)
#pragma once

#include "core/ItemWMBase.h"
#include "core/ProgressSink.h"

namespace qwb {

class CItemWMFile : public CItemWMBase {
 public:
  CItemWMFile() : CItemWMBase(DCADT_FILE) {}

  // A new file item reporting to `deviceData` (may be null), with its own copy of the storage
  // card folders from the card detection.
  static ComPtr<CItemWMFile> Create(IProgressTarget* deviceData);

  static ComPtr<CColumnsWM> CreateColumns();
  static const std::vector<ColumnSchemaEntry>& Schema();

  // The column number and path arguments are not used: the host sets "Reserved1" (its folder
  // path), "Name", "PCPath" and "FileSize" (decimal text, for progress) first.
  HRESULT STDMETHODCALLTYPE ReadBlobTo(ULONG col, BSTR path) override;
  HRESULT STDMETHODCALLTYPE WriteBlobFrom(ULONG col, BSTR path) override;

  // Copies the listing entries into columns 0 to 13 by their fixed names, each only when
  // present, and marks the three dates VT_DATE keeping their 8 value bytes (the listing
  // hands them over as VT_R8). "SUID" is not read.
  HRESULT SchemaConvertMap2Item(const FieldMap& map) override;
  HRESULT SchemaTakeMap2Item(FieldMap& map) override { return SchemaConvertMap2Item(map); }

  // Reports progress to the owning device data object, if any. Always S_OK.
  virtual HRESULT NotifyProgress(LONG done, LONG total, LONG* pContinue);

  void SetDeviceData(IProgressTarget* deviceData) { m_pDeviceData = deviceData; }
  bool IsDisconnected() const { return m_bDisconnected; }
  HRESULT GetLastTransportError() const { return m_hrLastError; }
  IProgressTarget* GetDeviceData() const { return m_pDeviceData; }
  // 1 outside and during a transfer until a progress handler clears it.
  LONG* ContinueFlag() { return &m_nContinue; }

 private:
  struct Transfer;
  // The transfer's columns and device path; module error 13015 for paths too long.
  Transfer Prepare();
  HRESULT Download(const Transfer& t);
  HRESULT Upload(const Transfer& t);
  void RecordTransportError();
  std::u16string DevicePath(const std::u16string& hostFolder, const std::u16string& name);

  IProgressTarget* m_pDeviceData = nullptr;
  LONG m_nContinue = 1;
  HRESULT m_hrLastError = S_OK;
  bool m_bDisconnected = false;
  std::u16string m_strFirstCard, m_strSecondCard;
};

}  // namespace qwb
