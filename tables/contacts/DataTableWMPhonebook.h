// CDataTableWMPhonebook: the phonebook table (DTID_PHONEBOOK).
// Lists the phone's contact categories as group items (the second column set) followed by the
// contacts (the main column set), and creates, updates and deletes both. Every exchange goes
// over the phonebook stream of the device link with the packets of link/PhonebookPacket.h;
// the property/column conversion is PhonebookMapping.h.
//
// Invariants:
//  - a listing returns every group first, then every contact of m_vEntryID in the device's
//    order; it never reads m_vEntryID at or past its size (a create during a listing raises
//    the contact count, not the list) and ends itself after the last item;
//  - the stream stays open across listings and writes; it is released by SetSyncStatus(STOP or
//    END), by a contact write that is retried, and when a reply was cut short (the stream is
//    then out of step, so the next operation opens a fresh one);
//  - contact writes make at most four attempts; 0x80070018 from the phone is final at once and
//    is reported as the module error 50000.
#pragma once

#include <cstdint>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "link/DeviceRecordWM.h"
#include "tables/contacts/PhonebookMapping.h"

class CRapiBase;

namespace qwb {

class CItemWMBase;

class CDataTableWMPhonebook : public CDataTableWMBase {
 public:
  CDataTableWMPhonebook();

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
  HRESULT STDMETHODCALLTYPE SetSyncStatus(DCASYNCSTATUS status) override;

  // The contact ids, categories and speed dials, and the counts the listing uses. 0 or the
  // failing HRESULT of the entry-id list.
  HRESULT LoadInfo();
  // Each clears its list and fills it from the phone; the HRESULT of the exchange.
  HRESULT GetAllEntryID();
  HRESULT GetCategoryList();
  HRESULT GetSpeedDialList();
  // Fetches contact *entryId (command 3), stores the id the phone answers with and converts
  // the contact into `fields`. 0 on success, else the HRESULT of the failing step.
  HRESULT GetPhonebookItem(FieldMap* fields, DWORD* entryId);

  const PhonebookLists& Lists() const { return m_lists; }

 protected:
  ~CDataTableWMPhonebook() override;

 private:
  // The device link (created through the device data object if need be).
  CRapiBase* Link();
  int ModelType();
  // Releases the stream and clears the link's field, so that the next operation reopens it.
  void ReleaseStream();

  // One request written whole; a short write is a failure.
  HRESULT Send(const std::vector<uint8_t>& packet);
  // A reply: L (above 0) and L bytes. A stream that broke off mid-reply is released.
  HRESULT ReadReply(std::vector<uint8_t>* body);
  // Sends a request and reads its reply.
  HRESULT Exchange(const std::vector<uint8_t>& packet, std::vector<uint8_t>* body);

  // The contact packet of an item's fields (mode 0 add, 1 replace).
  std::vector<uint8_t> BuildContactPacket(FieldMap& fields, uint32_t command, DWORD entryId);
  // One contact write exchange: S_OK with *entryId, a failure, or the phone's non-negative
  // code after L = 0 (*stored false).
  HRESULT WriteContactOnce(const char* method, const std::vector<uint8_t>& packet,
                           DWORD* entryId, bool* stored);
  // The attempt loop of CreateItem and UpdateItem; raises when every attempt failed.
  HRESULT WriteContact(const char* method, FieldMap& fields, uint32_t command, DWORD entryId,
                       DWORD* storedId, bool* stored);
  void RegisterSpeedDials(FieldMap& fields, DWORD entryId, bool create);
  // After a write: fetch the contact back into `fields` and hand them to the item.
  void ReadBack(CItemWMBase* item, FieldMap& fields, DWORD entryId, SUID* itemSuid);
  // CreateItem's and UpdateItem's contact: written (added, or replacing the item's SUID)
  // through the attempt loop; once stored, its speed dials registered (a replace clears the
  // old ones first) and the contact read back into the item. *stored tells whether the
  // phone kept it.
  HRESULT StoreContact(const char* method, IItem* pItem, bool replace, SUID* itemSuid,
                       bool* stored);

  HRESULT WriteGroup(IItem* pItem, uint32_t command, SUID* itemSuid);
  // The field map of a group item.
  static void FillGroupFields(DWORD id, const std::u16string& name, FieldMap* fields);

  std::vector<DWORD> m_vEntryID;  // contact entry ids in the device's order
  PhonebookLists m_lists;  // m_vCategories, m_vSpeedDialListes and the speed-dial count
  LONG m_nCategoryCount = 0;
  LONG m_nCategoryIndex = 0;
  BOOL m_bGroupsDone = FALSE;
  bool m_bCategoriesLoaded = false;
  bool m_bSpeedDialsLoaded = false;
  CPropertyMap m_props;
  FieldMap m_listFields;  // the fields of the contact last listed, refilled for the next
};

}  // namespace qwb
