// CDataTableWMMetadata: the device metadata table (DTID_METADATA). It has no items and no
// column set; of the IDataTable methods it serves GetProperty only:
//   "DevInf"        the device information document (DevInfDocument.h), as a BSTR
//   "PRIVACY_LOCK"  "0,0,0,0,0,0,0,0,0,0,0,0,0,0"
//   anything else   E_FAIL, the out value untouched
// Every GetProperty first gathers the phone's capacities afresh (Refresh): the four limit
// maps, the manufacturer, the model name and the largest MMS. Nothing is kept across calls
// but the SIM information session, which the table owns for its lifetime.
//
//  limit map   key               value (VT_INT unless noted)
//  phonebook   MAX_TEL_LENGTH    255      MAX_NAME_LENGTH 255  MAX_URL_LENGTH 255
//              MAX_EMAIL_LENGTH  255      MAX_NOTE_LENGTH -1   TOTAL_COUNT    -1
//  calendar    USED_COUNT 0  TOTAL_COUNT -1  MAX_SUBJECT 255  MAX_DETAIL 255  MAX_LOCATION 255
//              TYPE 0 (VT_I4)
//  task        USED_COUNT 0  TOTAL_COUNT -1  MAX_SUBJECT 255  MAX_DETAIL 255  MAX_LOCATION 255
//  SIM         MAX_TEL_LENGTH  MaxPBEAddressLength or 255   MAX_NAME_LENGTH MaxPBETextLength or 255
//              USED_COUNT      nUsed or 0                   TOTAL_COUNT     nTotal or 1000
//              ALLOWPLUSSIGN   0 (VT_I4)
// The SIM values come from DevCePhonebookSIMInfo; when that call fails all four take the
// fallbacks. A failing registry read is not an error either: the model name falls back to
// "Tolvane-WM", the MMS size to the family's default (with a debug line).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"

class rapiSIMWM;

namespace qwb {

class CDataTableWMMetadata : public CDataTableWMBase {
 public:
  CDataTableWMMetadata();

  HRESULT STDMETHODCALLTYPE GetProperty(BSTR propName, BSTR* propValue) override;

  // The values of the last refresh.
  const std::vector<FieldMap>& LimitMaps() const { return m_vLimitMaps; }
  const std::string& Manufacturer() const { return m_strManufacturer; }
  const std::string& ModelName() const { return m_strModelName; }
  DWORD MMSMaxSize() const { return m_nMMSMaxSize; }

  // The model name as the registry's UTF-16 text becomes the narrow name: at most 99 bytes,
  // cut at a character boundary.
  static std::string NarrowModelName(std::u16string_view name);

 protected:
  ~CDataTableWMMetadata() override;

 private:
  void Refresh();
  void ReadModelName();
  DWORD GetMMSMaxSize();
  void BuildLimitMaps();
  std::string BuildDevInf();
  int ModelType();

  std::vector<FieldMap> m_vLimitMaps;  // [0] phonebook, [1] calendar, [2] task, [3] SIM
  std::string m_strManufacturer;
  std::string m_strModelName;
  DWORD m_nMMSMaxSize = 0;
  std::unique_ptr<rapiSIMWM> m_pSIM;
};

}  // namespace qwb
