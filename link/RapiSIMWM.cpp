#include "link/RapiSIMWM.h"

#include "link/DeviceRecordWM.h"
#include "link/ServiceFormats.h"

rapiSIMWM::rapiSIMWM()
    : m_nRecordKind(devrec::kKindSimContact),
      m_nUsed(0),
      m_nTotal(0),
      m_nMaxPBEAddressLength(0),
      m_nMaxPBETextLength(0),
      m_nMinPBIndex(0),
      m_nMaxPBIndex(0),
      m_nReserved(0),
      m_nMaxANRLength(0),
      m_nMaxEmailAddrLength(0),
      m_nMaxGroupTagLength(0),
      m_nMaxANRTagLength(0),
      m_nANRCount(0),
      m_nEmailAddrCount(0),
      m_nMaxGroupTag(0),
      m_nMaxANRTag(0),
      m_nHidden(0),
      m_nUid(0),
      m_nMaxGroupIdCount(0) {
  m_vSIMList.clear();
  m_vSIMEntryID.clear();
}

rapiSIMWM::~rapiSIMWM() {
  m_vSIMList.clear();
  m_vSIMEntryID.clear();
}

HRESULT rapiSIMWM::getSIMInformation() {
  std::vector<uint8_t> reply;
  HRESULT hr = InvokeBlock(u"DevCePhonebookSIMInfo", "rapiSIMWM::getSIMInformation",
                           devrec::EncodeKindRequest(m_nRecordKind), &reply);
  if (hr != S_OK || reply.empty()) return hr;

  qwb::CPropertyMap map;
  if (qwb::DecodeDeviceRecord(m_nRecordKind, reply.data(), static_cast<DWORD>(reply.size()),
                              &map) != qwb::kDecodeOk)
    return E_FAIL;
  struct Word {
    const char16_t* name;
    DWORD* field;
  };
  const Word words[] = {
      {u"nUsed", &m_nUsed},
      {u"nTotal", &m_nTotal},
      {u"MaxPBEAddressLength", &m_nMaxPBEAddressLength},
      {u"MaxPBETextLength", &m_nMaxPBETextLength},
      {u"MinPBIndex", &m_nMinPBIndex},
      {u"MaxPBIndex", &m_nMaxPBIndex},
      {u"MaxANRLength", &m_nMaxANRLength},
      {u"MaxEmailAddrLength", &m_nMaxEmailAddrLength},
      {u"MaxGroupTagLength", &m_nMaxGroupTagLength},
      {u"MaxANRTagLength", &m_nMaxANRTagLength},
      {u"ANRCount", &m_nANRCount},
      {u"EmailAddrCount", &m_nEmailAddrCount},
      {u"MaxGroupTag", &m_nMaxGroupTag},
      {u"MaxANRTag", &m_nMaxANRTag},
      {u"MaxGroupIdCount", &m_nMaxGroupIdCount},
  };
  for (const Word& w : words) {
    int32_t v = 0;
    if (map.GetInteger(w.name, &v)) *w.field = static_cast<DWORD>(v);
  }
  int16_t flag = 0;
  if (map.GetBoolean(u"fHidden", &flag)) m_nHidden = static_cast<uint16_t>(flag) == 0xFFFF ? 1 : 0;
  if (map.GetBoolean(u"fUid", &flag)) m_nUid = static_cast<uint16_t>(flag) == 0xFFFF ? 1 : 0;
  return hr;
}
