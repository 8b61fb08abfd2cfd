// CDataTableWMMMS: the MMS message table (DTID_MMS). Lists the multimedia messages of the
// phone's store (record kind 5) by entry ID, folders Inbox, Draft, Outbox and Sent in turn;
// writes a message's body into a local ".mms" file for the host (ReadItem); saves a message
// from such a file (CreateItem) and sends one (Execute). The stream-family phones
// (olDomestic, olDomesticSKT) list none.
//
//  column          device property (kind 5)          to column
//  SUBJECT         PR_SUBJECT                         as is
//  SENDER          PR_SENDER_NAME                     as is
//  RECEIVER        PR_EMAIL_ADDRESS                   as is
//  CC, BCC         PR_ORIGINAL_DISPLAY_CC / _BCC      as is
//  CREATE_DATE     PR_LAST_MODIFICATION_TIME          UTC -> PC local
//  TOTAL_SIZE      PR_MESSAGE_SIZE                    as is
//  MM_STATUS       PR_MSG_STATUS                      as is
//  SUID, MESSAGE_ID (listing position), FOLDER, MY_FOLDER -1, TRANSACTION_ID ""
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "link/DeviceRecordWM.h"
#include "link/MessageRecords.h"

namespace qwb {

// Invariants (hold between any two calls of the host):
//  - m_vEntry holds the entries of the last ListItemsAllBegin, Inbox to Sent, and
//    m_nFolderCount[f - 1] the number of them in folder code f; both are empty for the
//    stream family and before the first listing. m_nTotal == m_vEntry.size().
//  - m_nIndex is in [0, m_nTotal]: entries before it were returned or passed over (no ID).
//    An item's MESSAGE_ID is its entry's index, so ReadItem, CreateItem and DeleteItem find
//    the entry again through EntryOf, checked against the SUID.
//  - m_bListing is true from a successful begin until ListItemsEnd or the next begin.
//  - m_mapProps is empty between calls except after ReadItem failed half-way (it is cleared
//    before every use).
class CDataTableWMMMS : public CDataTableWMBase {
 public:
  CDataTableWMMMS();

  HRESULT STDMETHODCALLTYPE ListItemsAllBegin() override;
  HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ListItemsEnd() override;
  HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive, DCADATATYPE type,
                                         ULONG* cnt) override;
  HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                    IItem** ppItem) override;
  HRESULT STDMETHODCALLTYPE ReadItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) override;
  HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) override;
  HRESULT STDMETHODCALLTYPE Execute(BSTR param, IItem* pItem, IItem** ppItem) override;

  // The message count by folder name, compared without case ("Inbox", "Draft", "Outbox",
  // "Sent"; "Total" the sum); 0 for any other name.
  DWORD FolderCount(std::u16string_view name) const;
  // The folder text of a save or send, normalised by what it contains, and its folder code.
  static std::u16string NormaliseFolder(std::u16string_view text);
  static DWORD MmsFolderCode(std::u16string_view folder);
  // Device -> column for one listed message.
  static void MmsRecordToFields(const CPropertyMap& props, DWORD suid, DWORD index, DWORD folder,
                                FieldMap* fields);
  // Where ReadItem puts the body files: <application data>/Tolvane/Orvanta/MMS/.
  static std::string BodyFolder();

 protected:
  ~CDataTableWMMMS() override;

 private:
  struct Entry {
    devrec::EntryId id;
    DWORD folder;
  };
  // "DevCeMessageList" of one folder into the entry list and its count; returns its HRESULT.
  HRESULT GetAllEntryID(DWORD folder);
  // "DevCeGetMessage" of an entry into m_mapProps. S_FALSE for an entry without an ID.
  HRESULT GetItemData(const Entry& entry);
  // The entry an item stands for: its MESSAGE_ID position, checked against its SUID (a later
  // listing may have moved it); null when none.
  const Entry* EntryOf(IItem* pItem) const;
  // Save (CreateItem) or send (Execute) from the body file the item names.
  void SaveOrSend(IItem* pItem, bool send);

  std::vector<Entry> m_vEntry;
  std::array<DWORD, 4> m_nFolderCount{};  // by folder code 1..4
  CPropertyMap m_mapProps;
};

}  // namespace qwb
