// The task store (record kind 3): "DevCeList", "DevCeGet", "DevCeAddTask",
// "DevCeReplaceTask", "DevCeDelete", served by the generic record store (RecordService.h).
#pragma once

#include "emulator/RecordService.h"

namespace wmemu {

extern const ServedRecordKind kTaskStore;

}  // namespace wmemu
