// CDataTableWMTask: the task table (DTID_TASK). Lists the phone's tasks as task items and
// creates, replaces and deletes tasks, every access a block invocation of the device-side
// service with record kind 3. Converts between the task record's properties and the task
// columns in both directions.
#pragma once

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

class CDataTableWMTask : public CDataTableWMBase {
 public:
  CDataTableWMTask();

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

  // Clears the entry ids and fills them from DevCeList (kind 3), in the device's order.
  // Returns the call's HRESULT.
  HRESULT GetAllEntryID();

  // Device -> column: the properties of a task record into the field map (every column the
  // record gives; the SUID is the caller's).
  static void TaskRecordToFields(const CPropertyMap& props, FieldMap* fields);
  // Column -> device: the field map into the record's properties, in the order the phone
  // expects. ALARM_TIME is stored back in the map with its seconds cut.
  static void TaskFieldsToRecord(FieldMap& fields, CPropertyList* list);

 protected:
  ~CDataTableWMTask() override;

 private:
  // Fetches the entry ids and starts the listing; a failed fetch is thrown as its HRESULT.
  void BeginListing();
  // DevCeGet of one task into the field map. False when the phone answered with an empty
  // reply; a failed call is thrown as a _wm_error.
  bool ReadTask(const char* method, DWORD id, FieldMap* fields);
  // CreateItem and UpdateItem: encode, add or replace, re-read, hand the values back.
  HRESULT WriteItem(const char* method, IItem* pItem, bool replace, SUID* itemSuid);

  // Whether a listing was ever begun. The base's m_bListing is the running listing that
  // ListItemsEnd ends; this one is never cleared, so that NextItem after the last item keeps
  // answering with a null item while a table that was never listed answers E_FAIL.
  bool m_bListed = false;
};

}  // namespace qwb
