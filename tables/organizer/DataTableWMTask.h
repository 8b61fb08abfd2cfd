// CDataTableWMTask: the task table (DTID_TASK). The phone's tasks (record kind 3) as task
// items: the mapping between the task record's properties and the task columns, both ways,
// and the task store's device calls; listing, reading, writing and deleting are the record
// table machinery's (core/RecordTableWM.h).
#pragma once

#include "core/RecordTableWM.h"

namespace qwb {

class CDataTableWMTask : public CRecordTableWM {
 public:
  CDataTableWMTask();

  // The task store: "DevCeList", "DevCeGet", "DevCeAddTask", "DevCeReplaceTask",
  // "DevCeDelete", kind 3, read with the task decoder.
  static const RecordCalls kCalls;

  // Device -> column: the properties of a task record into the field map (every column the
  // record gives; the SUID is the caller's).
  static void TaskRecordToFields(const CPropertyMap& props, FieldMap* fields);
  // Column -> device: the field map into the record's properties, in the order the phone
  // expects. ALARM_TIME is stored back in the map with its seconds cut.
  static void TaskFieldsToRecord(FieldMap& fields, CPropertyList* list);

 protected:
  ~CDataTableWMTask() override;
  ComPtr<CItemWMBase> CreateTableItem() override;
  void RecordToFields(const CPropertyMap& props, FieldMap* fields) override {
    TaskRecordToFields(props, fields);
  }
  void FieldsToRecord(FieldMap& fields, CPropertyList* list) override {
    TaskFieldsToRecord(fields, list);
  }
};

}  // namespace qwb
