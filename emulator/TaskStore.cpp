#include "emulator/TaskStore.h"

#include "link/DeviceRecord.h"

namespace wmemu {

const ServedRecordKind kTaskStore = {
    .kind = devrec::kKindTask,
    .store = devrec::kKindTask,
    .list = "DevCeList",
    .get = "DevCeGet",
    .add = "DevCeAddTask",
    .replace = "DevCeReplaceTask",
    .remove = "DevCeDelete",
};

}  // namespace wmemu
