// One line per served data table: its identifier, its place in the device data object's
// creation order, and its constructor. The device data object keeps its tables in one array
// indexed like the registry and has no code of its own for any table; the registry itself is
// filled in by the tables (tables/TableRegistry.cpp) and handed to the device data object by
// the module, so that nothing below the tables names a table class.
#pragma once

#include <span>

#include "qwbdcawm/qwbdcawm.h"

namespace qwb {

class CDataTableWMBase;

struct TableRegistration {
  DATATABLE_SUID id;
  // Place in ListDataTable's creation order, 0 first.
  int creationOrder;
  // A new table, holding no reference yet.
  CDataTableWMBase* (*create)();
};

// A constructor for the registry: `new T()`.
template <class T>
CDataTableWMBase* NewTable() {
  return new T();
}

}  // namespace qwb
