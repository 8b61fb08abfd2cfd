// rapiSIMWM: the SIM information session the metadata table keeps: a device link of its own
// that reads the SIM capacities (DevCePhonebookSIMInfo).
#pragma once

#include <string>
#include <vector>

#include "link/RapiBase.h"

class rapiSIMWM : public CRapiBase {
 public:
  rapiSIMWM();
  ~rapiSIMWM();

  // Calls DevCePhonebookSIMInfo and fills the capacity words from the properties present in
  // the reply (the others keep their values). Returns the HRESULT of the call; a reply that
  // does not decode is E_FAIL.
  HRESULT getSIMInformation();

  // The two vectors the SIM session keeps; emptied on construction and destruction.
  std::vector<std::u16string> m_vSIMList;
  std::vector<DWORD> m_vSIMEntryID;
  DWORD m_nRecordKind;  // 6

  // The capacity block, in this order (the seventh word is never filled):
  DWORD m_nUsed;
  DWORD m_nTotal;
  DWORD m_nMaxPBEAddressLength;
  DWORD m_nMaxPBETextLength;
  DWORD m_nMinPBIndex;
  DWORD m_nMaxPBIndex;
  DWORD m_nReserved;
  DWORD m_nMaxANRLength;
  DWORD m_nMaxEmailAddrLength;
  DWORD m_nMaxGroupTagLength;
  DWORD m_nMaxANRTagLength;
  DWORD m_nANRCount;
  DWORD m_nEmailAddrCount;
  DWORD m_nMaxGroupTag;
  DWORD m_nMaxANRTag;
  DWORD m_nHidden;  // fHidden: 1 when 0xFFFF
  DWORD m_nUid;     // fUid: 1 when 0xFFFF
  DWORD m_nMaxGroupIdCount;
};
