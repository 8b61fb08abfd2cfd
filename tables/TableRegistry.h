// The tables the component serves (core/TableRegistry.h). Adding a table is one line here.
#pragma once

#include <span>

#include "core/TableRegistry.h"

namespace qwb {

// In the order of the device data object's fields, which is the reverse of the order in
// which it releases them: file, phonebook, schedule, task, message, SIM, MMS, metadata,
// voice memo.
std::span<const TableRegistration> ServedTables();

}  // namespace qwb
