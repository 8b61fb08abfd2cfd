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

#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "link/MessageRecords.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

class CDataTableWMSIM : public CDataTableWMBase {
 public:
  CDataTableWMSIM();

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) override;

  // The mapping, both ways.
  static void SimPropertiesToFields(const CPropertyMap& props, DWORD entryId, FieldMap* fields);
  static void SimRecordToFields(const devrec::SimRecord& record, FieldMap* fields);
  static void SimFieldsToProperties(const FieldMap& fields, CPropertyList* list);
  // The lowest free position from `minIndex` given the positions in use.
  static DWORD FreePosition(std::vector<DWORD> used, DWORD minIndex);

  // Capacities of the last load.
  DWORD used() const { return m_nUsed; }
  DWORD total() const { return m_nTotal; }

 protected:
  ~CDataTableWMSIM() override;

 private:
  // Entry ids (or, on olDomestic, SIM records) and capacities; returns the failing HRESULT.
  HRESULT Load();
  HRESULT GetAllEntryID();
  HRESULT GetAllRecords();
  void GetSimInformation();
  // Load and start a listing; a failure is raised through the load's error table.
  void BeginListing(bool fullMapping);
  // The converted item of a field map, with the SIM column set.
  IItem* MakeSimItem(const FieldMap& fields);
  // Add or replace through the phone; raises the card's refusals.
  DWORD WriteContact(const char* method, IItem* pItem, bool replace, DWORD entryId);

  std::vector<devrec::SimRecord> m_vSIMRecords;
  DWORD m_nUsed = 0;
  DWORD m_nTotal = 0;
  DWORD m_nMaxAddressLength = 0;
  DWORD m_nMaxTextLength = 0;
  DWORD m_nMinIndex = 0;
  DWORD m_nMaxIndex = 0;
  bool m_bOneCall = false;  // the last load listed SIM records (olDomestic)
  bool m_bListed = false;   // a listing was begun at least once
};

}  // namespace qwb
