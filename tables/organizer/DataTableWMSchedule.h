// CDataTableWMSchedule: the calendar table (DTID_CALENDAR). Appointments are schedule items,
// read and written as device records of kind 2. Phones of the domestic model types also keep
// lunar appointments, with their own entry ids and DevCe calls; the table lists them first and
// moves an appointment between the two stores when its date type changes.
#pragma once

#include <memory>

#include "core/DataTableWMBase.h"
#include "core/FieldMap.h"
#include "tables/organizer/ConvLunar.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

class CDataTableWMSchedule : public CDataTableWMBase {
 public:
  CDataTableWMSchedule();

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
  std::unique_ptr<CConvLunar> m_pConvLunar;
};

}  // namespace qwb
