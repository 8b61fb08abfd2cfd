// The module's lock count behind DllCanUnloadNow: every live COM object of the component and
// every IClassFactory::LockServer(TRUE) holds one count.
#pragma once

#include "wincompat/wintypes.h"

namespace qwb {

void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// Holds one module count for as long as the owning object lives.
class ModuleLockHolder {
 public:
  ModuleLockHolder() { ModuleLock(); }
  ~ModuleLockHolder() { ModuleUnlock(); }
  ModuleLockHolder(const ModuleLockHolder&) : ModuleLockHolder() {}
  ModuleLockHolder& operator=(const ModuleLockHolder&) { return *this; }
};

}  // namespace qwb
