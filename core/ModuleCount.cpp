#include "core/ModuleCount.h"

#include <atomic>

namespace qwb {
namespace {
std::atomic<LONG> g_moduleCount{0};
}  // namespace

void ModuleLock() { g_moduleCount.fetch_add(1, std::memory_order_relaxed); }
void ModuleUnlock() { g_moduleCount.fetch_sub(1, std::memory_order_relaxed); }
LONG ModuleLockCount() { return g_moduleCount.load(std::memory_order_relaxed); }

}  // namespace qwb
