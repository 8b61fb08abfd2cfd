// Device record throughput on the component's side, the writer and the task reader, on a
// typical task record, beside a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "TaskSample.h"
#include "link/DeviceRecordWM.h"

namespace {

// The property list, then the LocalAlloc'd record the component sends.
void BM_BuildDeviceRecord(benchmark::State& state) {
  auto props = TaskProperties();
  DWORD size = 0;
  for (auto _ : state) {
    qwb::CPropertyList list(devrec::kKindTask);
    for (const auto& p : props) list.Add(p.name.c_str(), p.value.data());
    LocalBuffer record = qwb::BuildDeviceRecord(list, 0, 0, &size);
    benchmark::DoNotOptimize(record.get());
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
