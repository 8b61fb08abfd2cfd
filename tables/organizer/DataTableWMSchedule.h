// CDataTableWMSchedule: the calendar table (DTID_CALENDAR). Appointments are schedule items,
// read and written as device records of kind 2. Phones of the domestic model types also keep
// lunar appointments, with their own entry ids and DevCe calls; the table lists them first and
// moves an appointment between the two stores when its date type changes.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "tables/organizer/ConvLunar.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;
class CItemWMBase;

class CDataTableWMSchedule : public CDataTableWMBase {
 public:
  CDataTableWMSchedule();

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

  // Device -> column: the properties of an appointment record into the field map (the SUID is
  // the caller's). `lunar` tells a leap month for records that carry "Lunar"; null or a
  // library that is absent reads them as "LUNAR".
  static void ScheduleRecordToFields(const CPropertyMap& props, FieldMap* fields,
                                     const CConvLunar* lunar);
  // Column -> device: the field map into the record's properties, in the order the phone
  // expects. Moved dates, the computed ALARM_VALUE and a replaced ALARM_TYPE are stored back
  // into the map.
  static void ScheduleFieldsToRecord(FieldMap& fields, CPropertyList* list);

 protected:
  ~CDataTableWMSchedule() override;

 private:
  // The two id lists: the ordinary appointments (DevCeList, thrown when it fails) and, on
  // domestic phones, the lunar ones (DevCeGetLunarList; a failure or an empty reply is an
  // empty list).
  struct EntryLists {
    std::vector<DWORD> ordinary, lunar;
  };
  EntryLists ListEntries(const char* method);
  void BeginListing(const char* method);
  // Model types 0, 3, 4 and 5 keep lunar appointments.
  bool IsDomestic();
  // Whether an item goes to the lunar store: START_DATE_TYPE exactly "LUNAR" or "LEAP" on a
  // domestic phone.
  bool IsLunarItem(const FieldMap& fields);
  // DevCeGet or DevCeGetLunarItem of one entry into the field map (with its SUID). False for
  // an empty reply; a failed call is thrown as a _wm_error.
  bool ReadEntry(const char* method, bool lunar, DWORD id, FieldMap* fields);
  // DevCeAdd... (mode 0) or DevCeReplace... (mode 1, `id`) of the record; the id the reply
  // names, or nothing for an empty reply. A failed call is thrown.
  std::optional<DWORD> WriteEntry(const char* method, bool lunar, bool replace, DWORD id,
                                  const CPropertyList& list);
  void DeleteEntry(const char* method, bool lunar, DWORD id);
  // After a write: the SUID, the stored values read back (a failed re-read is no error), and
  // the values handed to the item.
  HRESULT Refresh(const char* method, bool lunar, DWORD id, FieldMap& fields, CItemWMBase* item);

  std::vector<DWORD> m_vLunarEntryID;
  LONG m_nLunarTotal = 0;
  LONG m_nLunarIndex = 0;
  // Whether a listing was ever begun (see the task table).
  bool m_bListed = false;
  std::unique_ptr<CConvLunar> m_pConvLunar;
};

}  // namespace qwb
