// CRecordTableWM: the machinery every table of device records shares (tasks, calendar, SIM
// contacts, messages, MMS): its entry-id lists and read positions, the listing flag, the
// count, reading one record into an item, writing an item and reading the stored record back,
// deleting, and the method frame with the table's class and source names. A table derived
// from it is its mapping (RecordToFields, FieldsToRecord), its device calls (RecordCalls, one
// per id list) and the few behaviours of its own, each an override of a named step below.
//
// Invariants (hold between any two calls of the host):
//  - m_state is kIdle before the first listing and after ListItemsEnd; kListing from a
//    successful begin (ListItemsAllBegin, or GetItemCount with no listing running) until
//    NextItem returns the last record, ListItemsEnd or a failed begin; kFinished once NextItem
//    has returned the last record, until the next begin or ListItemsEnd. m_bListing (the
//    base's listing flag) is true exactly in kListing.
//  - Every id list holds the ids of the start of its listing, in the device's order, and its
//    index is in [0, ids.size()]. Records created during a listing are not added to it.
//  - m_nTotal is the number of records as far as the table knows: the ids of all lists at the
//    begin, plus one per create, minus one per delete. It may exceed the ids left to read;
//    NextItem ends at the ids' end.
//  - m_nIndex counts the records NextItem returned in this listing (over all lists).
//  - A failed device call leaves the lists and their indices as they were (the next NextItem
//    reads the same record again); a record whose reply cannot be decoded is passed over
//    (reading it again could not succeed) and fails that NextItem with
//    HRESULT_FROM_WIN32(ERROR_INVALID_DATA), reported like a device failure.
//
// NextItem on a table never listed, or after ListItemsEnd, answers E_FAIL: no listing flag
// is set, and answering with a null item would read, to a host, as an empty phone. After the
// last record it answers S_OK with a null item as often as it is called.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "core/ItemWMBase.h"
#include "link/DeviceRecordService.h"

namespace qwb {

// The device calls of one store of records on the phone (tasks; ordinary appointments;
// lunar appointments; SIM contacts ...). A null name is a call the store does not have.
struct RecordCalls {
  DWORD kind = 0;
  const char16_t* list = nullptr;     // (kind) -> id list
  const char16_t* get = nullptr;      // (kind, id) -> device record
  const char16_t* add = nullptr;      // device record, mode 0 -> new id
  const char16_t* replace = nullptr;  // device record, mode 1 -> id
  const char16_t* remove = nullptr;   // (kind, id)
  RecordDecoder decoder = RecordDecoder::kGeneral;
};

// One list of entry ids, the calls of its store and its read position.
struct EntryIdList {
  const RecordCalls* calls = nullptr;
  std::vector<DWORD> ids;
  size_t index = 0;
  bool AtEnd() const { return index >= ids.size(); }
};

class CRecordTableWM : public CDataTableWMBase {
 public:
  // The listing protocol and the record operations, in the frame of the table's names.
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

  // Clears every id list and fills it from its store's list call, in read order. Returns the
  // first failing HRESULT (the lists after it stay empty), else S_OK.
  virtual HRESULT GetAllEntryID();

 protected:
  // `className` names the methods in log lines and error information ("CDataTableWMTask"),
  // `sourceFile` is the file the error information reports (".\\DataTableWMTask.cpp").
  CRecordTableWM(const char* className, const char* sourceFile);
  ~CRecordTableWM() override;

  // ---- What a table provides ---------------------------------------------------------------
  // A new item of the table's class (one reference), without columns.
  virtual ComPtr<CItemWMBase> CreateTableItem() = 0;
  // Device -> column: the properties of one record into the field map (not the SUID).
  virtual void RecordToFields(const CPropertyMap& props, FieldMap* fields) = 0;
  // Column -> device: the field map into the properties of a request, in the phone's order.
  // The map may be updated (values the phone will store differently).
  virtual void FieldsToRecord(FieldMap& fields, CPropertyList* list) = 0;
  // The store an item is written to. Default: the store of the first id list.
  virtual const RecordCalls& StoreFor(const FieldMap& fields);
  // What ListItemsAllBegin does while a listing runs: restart it (default) or keep it.
  enum class RunningBegin { kRestart, kKeep };
  virtual RunningBegin OnBeginWhileListing() const { return RunningBegin::kRestart; }

  // ---- The machinery's steps, for tables with behaviours of their own ----------------------
  // "Class::Method".
  std::string Method(const char* name) const;
  // The method frame with the table's names: _wm_error -> error information, HRESULT
  // exceptions returned as they are (MethodFrame.h).
  template <class F>
  HRESULT Frame(const char* name, int line, F&& body) {
    const std::string method = Method(name);
    return TableMethodFrame(method.c_str(), m_szSourceFile, line, std::forward<F>(body));
  }
  // Fetches the ids and starts the listing; a failed fetch is thrown as its HRESULT and
  // leaves no listing running.
  void BeginListing();
  // Reads one record of `calls`' store into `fields` through RecordToFields. A failed call is
  // raised as a _wm_error with its HRESULT.
  enum class ReadResult { kRead, kEmpty, kMalformed };
  ReadResult ReadRecord(const RecordCalls& calls, DWORD id, const char* method, FieldMap* fields);
  // Adds (replace false) or replaces the record of `fields` in `calls`' store and reads the
  // stored record back into `fields` (a failed re-read is no error). Returns the id the phone
  // answered, none when its reply was empty. A failed call is raised as a _wm_error.
  std::optional<DWORD> WriteRecord(const RecordCalls& calls, FieldMap& fields, bool replace,
                                   DWORD entryId, const char* method);
  // An item of the table's class with its column set, holding the values of `fields`.
  // The item made from `fields`, whose values it takes.
  ComPtr<CItemWMBase> ItemFromFields(FieldMap& fields);

  // Adds an id list for `calls`; lists are read in the order they are added.
  void AddEntryIdList(const RecordCalls& calls) { m_lists.push_back(EntryIdList{&calls, {}, 0}); }
  const std::vector<EntryIdList>& EntryIdLists() const { return m_lists; }
  std::vector<EntryIdList>& EntryIdLists() { return m_lists; }

  enum class ListingState { kIdle, kListing, kFinished };
  ListingState State() const { return m_state; }

 private:
  void EndListing(ListingState next);
  HRESULT WriteItem(const char* name, IItem* pItem, bool replace, SUID* itemSuid);

  const char* const m_szClassName;
  const char* const m_szSourceFile;
  const std::string m_nextItemMethod;  // built once: NextItem runs once a record
  std::vector<EntryIdList> m_lists;
  ListingState m_state = ListingState::kIdle;
  // The properties of the record last read, kept so that its buffers serve the next one.
  CPropertyMap m_readProps;
  // The fields of the item last listed, kept for the same reason.
  FieldMap m_listFields;
};

}  // namespace qwb
