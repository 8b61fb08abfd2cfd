// CDataTableWMSIM: the SIM phonebook table (DTID_SIM). Lists, creates, replaces and deletes
// the contacts of the SIM card as SIM items, every access a block invocation with record
// kind 6. An olDomestic phone lists its whole SIM in one call (336-byte SIM records); the
// others list positions and fetch each contact on its own. The card's capacities are read at
// every load; a full card is refused before the phone is asked.
//
//  column                 device property (kind 6)       olDomestic SIM record
//  SUID                   the entry id (position)        entry id
//  DISPLAY_NAME           Name                           name
//  READING_FIRST_NAME     SecondName                     -
//  TEL_NUM_0              TelNumber                      number (always, TEL_COUNT >= 1)
//  TEL_NUM_1..4           AdditionalNum0..3              second number -> TEL_NUM_1
//  TEL_TYPE_n             "Mobile.Private" for each number
//  EMAIL_ADDR_0           Email0 (when EmailCount >= 1)  e-mail
//  EMAIL_TYPE_0           "private"
#pragma once

#include <optional>
#include <vector>

#include "core/FieldMap.h"
#include "core/RecordTableWM.h"
#include "link/MessageRecords.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

// The record machinery keeps the positions (one id list), the read position and the count of
// contacts in use (m_nTotal, the card's "nUsed" when it tells it); this class adds the
// one-call listing, the capacities and the card's own write rules.
class CDataTableWMSIM : public CRecordTableWM {
 public:
  CDataTableWMSIM();

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) override;

  // The mapping, both ways.
  static void SimPropertiesToFields(const CPropertyMap& props, DWORD entryId, FieldMap* fields);
  static void SimRecordToFields(const devrec::SimRecord& record, FieldMap* fields);
  static void SimFieldsToProperties(const FieldMap& fields, CPropertyList* list);
  // The lowest free position from `minIndex` given the positions in use.
  static DWORD FreePosition(std::vector<DWORD> used, DWORD minIndex);

  // Positions (or, on olDomestic, the SIM records and their positions), then the
  // capacities; returns the failing HRESULT of the listing call.
  HRESULT GetAllEntryID() override;

 protected:
  ~CDataTableWMSIM() override;

  ComPtr<CItemWMBase> CreateTableItem() override;
  void RecordToFields(const CPropertyMap& props, FieldMap* fields) override;
  void FieldsToRecord(FieldMap& fields, CPropertyList* list) override;

 private:
  void GetSimInformation();
  // Starts a listing; a failed load is raised through the load's error table (all of it,
  // or, for GetItemCount, the busy row only).
  void BeginSimListing(bool fullMapping);
  // Add or replace through the phone; raises the card's refusals. Returns the stored id.
  DWORD WriteContact(const char* method, IItem* pItem, bool replace, DWORD entryId);

  std::vector<devrec::SimRecord> m_vSIMRecords;
  std::optional<DWORD> m_nCardUsed;  // "nUsed" of the last SIM information
  DWORD m_nCapacity = 0;             // "nTotal"
  DWORD m_nMaxAddressLength = 0;
  DWORD m_nMaxTextLength = 0;
  DWORD m_nMinIndex = 0;
  DWORD m_nMaxIndex = 0;
  bool m_bOneCall = false;  // the last load listed SIM records (olDomestic)
};

}  // namespace qwb
