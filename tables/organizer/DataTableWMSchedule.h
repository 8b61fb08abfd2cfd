// CDataTableWMSchedule: the calendar table (DTID_CALENDAR). Appointments are schedule items,
// read and written as device records of kind 2. Phones of the domestic model types also keep
// lunar appointments, with their own entry ids and DevCe calls; the table lists them first and
// moves an appointment between the two stores when its date type changes. Listing, reading,
// writing and deleting are the record table machinery's (core/RecordTableWM.h); this table is
// its mapping, its two stores and the rules that choose between them.
#pragma once

#include <memory>

#include "core/RecordTableWM.h"
#include "tables/organizer/ConvLunar.h"

namespace qwb {

class CDataTableWMSchedule : public CRecordTableWM {
 public:
  CDataTableWMSchedule();

  // The ordinary appointments: "DevCeList", "DevCeGet", "DevCeAddAppointment",
  // "DevCeReplaceAppointment", "DevCeDelete", kind 2.
  static const RecordCalls kCalls;
  // The lunar appointments of domestic phones: "DevCeGetLunarList", "DevCeGetLunarItem",
  // "DevCeAddLunarItem", "DevCeReplaceLunarItem", "DevCeDeleteLunarItem", kind 2.
  static const RecordCalls kLunarCalls;

  // The ordinary list (a failure is the listing's), then, on domestic phones, the lunar list
  // (a failure or an empty reply is no lunar entry).
  HRESULT GetAllEntryID() override;
  // Domestic phones: the entry is looked up in both lists again and replaced in its store, or
  // moved to the other one (deleted, then added) when its date type changed.
  HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) override;

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
  ComPtr<CItemWMBase> CreateTableItem() override;
  void RecordToFields(const CPropertyMap& props, FieldMap* fields) override {
    ScheduleRecordToFields(props, fields, m_pConvLunar.get());
  }
  void FieldsToRecord(FieldMap& fields, CPropertyList* list) override {
    ScheduleFieldsToRecord(fields, list);
  }
  // The lunar store for an item whose START_DATE_TYPE is exactly "LUNAR" or "LEAP" on a
  // domestic phone; the ordinary store otherwise.
  const RecordCalls& StoreFor(const FieldMap& fields) override;
  // A listing under way is kept.
  RunningBegin OnBeginWhileListing() const override { return RunningBegin::kKeep; }

 private:
  // Model types 0, 3, 4 and 5 keep lunar appointments.
  bool IsDomestic();

  std::unique_ptr<CConvLunar> m_pConvLunar;
};

}  // namespace qwb
