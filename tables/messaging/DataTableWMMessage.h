// CDataTableWMMessage: the SMS message table (DTID_MESSAGE). Lists the short messages of the
// phone's store and of the SIM card as message items, saves a message into a folder of the
// store and sends one. How the store is listed depends on the phone's model family (see
// MessageMapping.h): stream records, message ids or entry IDs. SIM messages follow the
// store's, found by probing the SIM slots upward.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "core/DataTableWMBase.h"
#include "link/DeviceRecordWM.h"
#include "link/MessageRecords.h"
#include "tables/messaging/MessageMapping.h"

namespace qwb {

// Invariants (hold between any two calls of the host):
//  - m_bLoaded is true from a successful ListItemsAllBegin (or a GetItemCount that had to
//    load) until ListItemsEnd, the next begin, or a NextItem whose device read failed; a
//    failed load leaves it false. NextItem without it answers E_FAIL.
//  - Exactly one of m_vStream, m_vMessageID and m_vEntry is filled, the one of m_family, and
//    it holds m_nMessageCount rows in folder order; m_nMessageCursor is in
//    [0, m_nMessageCount] and counts the store's messages NextItem returned.
//  - SIM messages follow the store's: m_nSIMReturned <= m_nSIMUsed, and m_nSIMSlot (the last
//    slot probed, 1-based) <= m_nSIMTotal; a slot is never probed twice in one listing.
//  - GetItemCount answers m_nMessageCount + m_nSIMUsed as of the last load.
//  - m_mapProps is empty between calls: it holds one decoded record only while it is mapped.
class CDataTableWMMessage : public CDataTableWMBase {
 public:
  CDataTableWMMessage();

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE Execute(BSTR param, IItem* pItem, IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR propName, BSTR* propValue) override;

 protected:
  ~CDataTableWMMessage() override;

 private:
  // One listed message of each family's list.
  struct EntryIdRow {
    devrec::EntryId id;
    DWORD folder;
  };
  struct StreamRow {
    DWORD folder;
    std::array<uint8_t, devrec::kStreamMessageSize> record;
  };

  // Fills the family's list and the SIM counts; a failure is raised (module errors 50001
  // for a locked message centre and 12045 for a busy store, else the call's HRESULT).
  void Load();
  // The block form of "DevCeMessageList" for one folder; returns its HRESULT and adds the
  // folder's messages to the family's list and their number to *count.
  HRESULT GetAllEntryID(MessageFamily family, DWORD folder, DWORD* count);
  // The stream form for one folder: keeps the records whose state is 0 or 2.
  HRESULT ListStreamFolder(DWORD folder, DWORD* count);
  void GetSIMMessageInfo();
  // "DevCeGetMessage" into the current property map; returns its HRESULT. *folder receives
  // the reply's folder code in the ID family.
  HRESULT GetItemData(const std::vector<uint8_t>& request, DWORD* folder);
  // Probes the SIM slots for the next SIM message; false when there is none to give.
  bool NextSimMessage(FieldMap* fields);
  // Creates the item of a field map with the table's column set.
  // The item made from `fields`, whose values it takes.
  IItem* MakeMessageItem(FieldMap& fields);
  // Save (CreateItem) and send (Execute): the item as a kind 4 request.
  void SaveOrSend(IItem* pItem, bool send);

  std::vector<EntryIdRow> m_vEntry;
  std::vector<StreamRow> m_vStream;
  std::vector<std::pair<DWORD, DWORD>> m_vMessageID;  // (folder code, message id)
  CPropertyMap m_mapProps;
  FieldMap m_listFields;  // the fields of the item last listed, refilled for the next
  MessageFamily m_family = MessageFamily::kEntryId;
  bool m_bLoaded = false;
  DWORD m_nMessageCount = 0;
  DWORD m_nSIMUsed = 0;
  DWORD m_nSIMTotal = 0;
  DWORD m_nSIMSlot = 0;
  DWORD m_nMessageCursor = 0;
  DWORD m_nSIMReturned = 0;
};

}  // namespace qwb
