// The emulator's record store: one get (the reply record of one task) from stores of 100 and
// of 20,000 tasks. The two should take the same time: the lookups go by key and the
// statements stay prepared.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TaskSample.h"
#include "emulator/Image.h"
#include "emulator/RecordStore.h"

namespace {

struct Store {
  std::filesystem::path dir;
  std::unique_ptr<wmemu::Image> image;
  std::vector<uint32_t> ids;

  explicit Store(int n) {
    dir = std::filesystem::temp_directory_path() /
          ("qwb-store-bench-" + std::to_string(n) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    image = wmemu::Image::Open(dir, true);
    wmemu::RecordStore store(*image, devrec::kKindTask);
    for (int i = 0; i < n; ++i) {
      std::vector<devrec::RawEntry> raw;
      for (const auto& p : TaskProperties(i)) raw.push_back(wmemu::RecordStore::Raw(3, p));
      ids.push_back(store.Add(raw));
    }
  }
  ~Store() {
    image.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Store& StoreOf(int n) {
  static std::map<int, std::unique_ptr<Store>> stores;
  auto& s = stores[n];
  if (!s) s = std::make_unique<Store>(n);
  return *s;
}

void BM_StoreGetReply(benchmark::State& state) {
  Store& s = StoreOf(static_cast<int>(state.range(0)));
  wmemu::RecordStore store(*s.image, devrec::kKindTask);
  std::vector<uint8_t> reply;
  size_t i = 0;
  for (auto _ : state) {
    // Ids spread over the whole store, so that no one page stays hot.
    const uint32_t id = s.ids[(i++ * 7919) % s.ids.size()];
    if (!store.GetReply(id, &reply)) {
      state.SkipWithError("get failed");
      break;
    }
    benchmark::DoNotOptimize(reply.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreGetReply)->Arg(100)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
