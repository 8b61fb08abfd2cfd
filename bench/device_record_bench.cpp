// Device record throughput: the one writer and reader of the format, on a typical task record,
// beside a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "link/DeviceRecord.h"
#include "link/DeviceRecordWM.h"

namespace {

using devrec::Property;

std::vector<Property> TaskProperties() {
  return {Property::String("Subject", "Renew car insurance before the end of the month"),
          Property::String("Body", "Compare three quotes; the broker's number is in contacts."),
          Property::Date("StartDate", 46100.0),
          Property::Date("DueDate", 46107.0),
          Property::Boolean("Complete", 0),
          Property::Integer("Importance", 1),
          Property::Boolean("ReminderSet", 0xFFFF),
          Property::Date("ReminderTime", 46099.375),
          Property::String("Categories", "Business, Car"),
          Property::Integer("ulSensitivity", 0),
          Property::Boolean("IsRecurring", 0xFFFF),
          Property::Integer("RecurrPattern.RecurrenceType", 1),
          Property::Integer("RecurrPattern.DayOfWeekMask", 10),
          Property::Integer("RecurrPattern.Interval", 2),
          Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)};
}

void BM_EncodeRequest(benchmark::State& state) {
  auto props = TaskProperties();
  size_t bytes = 0;
  for (auto _ : state) {
    auto record = devrec::EncodeRequest(devrec::kKindTask, devrec::kModeAdd, 0, props);
    bytes = record.size();
    benchmark::DoNotOptimize(record.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeRequest);

// The component's writer side: property list, then the LocalAlloc'd record.
void BM_BuildDeviceRecord(benchmark::State& state) {
  DWORD size = 0;
  for (auto _ : state) {
    qwb::CPropertyList list(devrec::kKindTask);
    list.AddString("Subject", u"Renew car insurance before the end of the month");
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

void BM_ReadReply(benchmark::State& state) {
  auto reply = devrec::EncodeReply(7, TaskProperties());
  for (auto _ : state) {
    std::vector<devrec::RawEntry> out;
    auto rc = devrec::ReadReply(reply.data(), reply.size(), devrec::kKindTask, &out);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_ReadReply);

// The component's reader side: the task decoder into a property map (UTF-8 to UTF-16, BSTRs).
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
