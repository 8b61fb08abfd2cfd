// Out of memory while the device data object creates its tables: whichever allocation fails,
// ListDataTable answers E_OUTOFMEMORY, and a later call completes the tables. Allocations are
// made to fail one at a time through a replaced operator new, armed on this thread only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "core/DeviceDataWM.h"
#include "tables/TableRegistry.h"
#include "tests/core/TestEnv.h"

namespace {

// -1: allocations succeed; n >= 0: the allocation after n more succeeds fails.
thread_local long g_failAfter = -1;

void* Allocate(std::size_t size) {
  if (g_failAfter == 0) {
    g_failAfter = -1;
    return nullptr;
  }
  if (g_failAfter > 0) --g_failAfter;
  return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

TEST(DeviceDataOutOfMemory, EveryFailedAllocationWhileTablesAreBuiltIsOutOfMemory) {
  long failures = 0;
  // Every third allocation: a run per allocation costs the square of their number.
  for (long at = 0;; at += 3) {
    ComPtr<IDeviceData> dd;
    ASSERT_EQ(S_OK, qwb::CDeviceDataWM::CreateInstance(
                        nullptr, IID_IDeviceData, reinterpret_cast<void**>(dd.ReleaseAndGetAddressOf()),
                        qwb::ServedTables()));
    g_failAfter = at;
    HRESULT hr = dd->ListDataTable();
    const bool reached = g_failAfter == -1;  // the failing allocation was asked for
    g_failAfter = -1;
    if (!reached) {
      ASSERT_EQ(S_OK, hr);  // every allocation of a complete run came before it
      break;
    }
    // An allocation the code can do without (a scratch buffer) may fail with S_OK.
    if (hr == S_OK) continue;
    ASSERT_EQ(E_OUTOFMEMORY, hr) << "allocation " << at;
    ++failures;
    // The tables built before the failure stay; the next call builds the rest.
    ASSERT_EQ(S_OK, dd->ListDataTable()) << "allocation " << at;
  }
  EXPECT_GT(failures, 100);  // the nine column sets were all in the way
}

}  // namespace
