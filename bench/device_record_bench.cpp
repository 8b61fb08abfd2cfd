// Device record throughput on the component's side, the writer and the task reader, on a
// typical task record, beside a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "TaskSample.h"
#include "link/DeviceRecordWM.h"

namespace {

// The property list as the task table fills it (UTF-16 text), then the LocalAlloc'd record.
void BM_BuildDeviceRecord(benchmark::State& state) {
  DWORD size = 0;
  for (auto _ : state) {
    qwb::CPropertyList list(devrec::kKindTask);
    list.AddString("Subject", u"Task number 0");
    list.AddString("Body", u"Compare three quotes; the broker's number is in contacts.");
    list.AddDate("StartDate", 46100.0);
    list.AddDate("DueDate", 46107.0);
    list.AddBoolean("Complete", 0);
    list.AddInteger("Importance", 1);
    list.AddBoolean("ReminderSet", -1);
    list.AddDate("ReminderTime", 46099.375);
    list.AddString("Categories", u"Business, Car");
    list.AddInteger("ulSensitivity", 0);
    list.AddBoolean("IsRecurring", -1);
    list.AddInteger("RecurrPattern.RecurrenceType", 1);
    list.AddInteger("RecurrPattern.DayOfWeekMask", 10);
    list.AddInteger("RecurrPattern.Interval", 2);
    list.AddBoolean("RecurrPattern.NoEndDate", -1);
    BYTE* record = qwb::BuildDeviceRecord(list, 0, 0, &size);
    benchmark::DoNotOptimize(record);
    LocalFree(record);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_BuildDeviceRecord);

// The task decoder into a property map (UTF-8 to UTF-16, BSTRs).
void BM_DecodeTaskRecord(benchmark::State& state) {
  auto reply = devrec::EncodeReply(7, TaskProperties());
  for (auto _ : state) {
    qwb::CPropertyMap map;
    int rc = qwb::DecodeTaskRecord(devrec::kKindTask, reply.data(),
                                   static_cast<DWORD>(reply.size()), &map);
    benchmark::DoNotOptimize(rc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_DecodeTaskRecord);

void BM_MemcpySameBytes(benchmark::State& state) {
  auto reply = devrec::EncodeReply(7, TaskProperties());
  std::vector<uint8_t> copy(reply.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), reply.data(), reply.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace

BENCHMARK_MAIN();
