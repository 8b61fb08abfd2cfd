// CItemWMFile: a file on the phone, item type DCADT_FILE. Besides the common item it keeps
// the device data object that created it (uncounted), to which it reports the progress of a
// transfer, and the continue flag a host's progress handler may clear to stop one.
#pragma once

#include "core/ItemWMBase.h"
#include "core/ProgressSink.h"

namespace qwb {

class CItemWMFile : public CItemWMBase {
 public:
  CItemWMFile() : CItemWMBase(DCADT_FILE) {}

  static ComPtr<CColumnsWM> CreateColumns();
  static const std::vector<ColumnSchemaEntry>& Schema();

  // Copying files between the PC and the phone belongs to the file table's transfers,
  // which are not built yet: both answer E_NOTIMPL until then.
  HRESULT STDMETHODCALLTYPE ReadBlobTo(ULONG col, BSTR path) override;
  HRESULT STDMETHODCALLTYPE WriteBlobFrom(ULONG col, BSTR path) override;

  // Copies the listing entries into columns 0 to 13 by their fixed names, each only when
  // present, and marks the three dates VT_DATE keeping their 8 value bytes (the listing
  // hands them over as VT_R8). "SUID" is not read.
  HRESULT SchemaConvertMap2Item(const FieldMap& map) override;

  // Reports progress to the owning device data object, if any. Always S_OK.
  virtual HRESULT NotifyProgress(LONG done, LONG total, LONG* pContinue);

  void SetDeviceData(IProgressTarget* deviceData) { m_pDeviceData = deviceData; }
  IProgressTarget* GetDeviceData() const { return m_pDeviceData; }
  // 1 outside and during a transfer until a progress handler clears it.
  LONG* ContinueFlag() { return &m_nContinue; }

 private:
  IProgressTarget* m_pDeviceData = nullptr;
  LONG m_nContinue = 1;
};

}  // namespace qwb
