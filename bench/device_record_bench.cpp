// Device record throughput on the component's side, the writer and the readers, on a typical
// task record (15 properties) and on a 20-property one, beside a plain copy of the same bytes.
// "Typed" builds through the typed forms the tables call, text in UTF-16.
// "Reused" runs decode into (or build from) one map or list record after record, as a table
// does while it lists; "Fresh" runs make a new one each time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "TaskSample.h"
#include "link/DeviceRecordWM.h"
#include "platform/util/Utf.h"

namespace {

// The task sample plus five more properties, its body in Korean and English: 20 in all.
std::vector<devrec::Property> TwentyProperties() {
  using devrec::Property;
  auto props = TaskProperties(7);
  props.push_back(Property::String("ReminderSoundFile", "\\Windows\\Alarm1.wav"));
  props.push_back(Property::Integer("ReminderOptions", 3));
  props.push_back(Property::Integer("Bias", -540));
  props.push_back(Property::Date("RecurrPattern.PatternStartDate", 46100.0));
  props.push_back(Property::Integer("RecurrPattern.Occurrences", 10));
  props[1] = Property::String("Body",
                              "\xEB\xB3\xB4\xED\x97\x98 \xEC\x84\x9C\xEB\xA5\x98 "
                              "(insurance papers): bring last year's policy");
  return props;
}

void Build(benchmark::State& state, const std::vector<devrec::Property>& props, bool reuse) {
  DWORD size = 0;
  qwb::CPropertyList reused(devrec::kKindTask);
  for (auto _ : state) {
    qwb::CPropertyList fresh(devrec::kKindTask);
    qwb::CPropertyList& list = reuse ? reused : fresh;
    list.Clear();
    for (const auto& p : props) list.Add(p.name.c_str(), p.value.data());
    LocalBuffer record = qwb::BuildDeviceRecord(list, 0, 0, &size);
    benchmark::DoNotOptimize(record.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// The tables' way: the typed forms, text given as UTF-16 and converted on the way.
void BuildTyped(benchmark::State& state, const std::vector<devrec::Property>& props) {
  struct Typed {
    const char* name;
    uint32_t type;
    std::u16string text;
    double date = 0;
    int32_t integer = 0;
    int16_t boolean = 0;
  };
  std::vector<Typed> typed;
  for (const auto& p : props) {
    Typed t{p.name.c_str(), devrec::LookupType(devrec::kKindTask, p.name), {}};
    if (t.type == devrec::kTypeString)
      t.text = utf::Widen(
          std::string_view(reinterpret_cast<const char*>(p.value.data()), p.value.size() - 1));
    if (t.type == devrec::kTypeDate) std::memcpy(&t.date, p.value.data(), 8);
    if (t.type == devrec::kTypeInteger) std::memcpy(&t.integer, p.value.data(), 4);
    if (t.type == devrec::kTypeBoolean) std::memcpy(&t.boolean, p.value.data(), 2);
    typed.push_back(std::move(t));
  }
  DWORD size = 0;
  qwb::CPropertyList list(devrec::kKindTask);
  for (auto _ : state) {
    list.Clear();
    for (const Typed& t : typed) {
      switch (t.type) {
        case devrec::kTypeString:
          list.AddString(t.name, t.text);
          break;
        case devrec::kTypeDate:
          list.AddDate(t.name, t.date);
          break;
        case devrec::kTypeInteger:
          list.AddInteger(t.name, t.integer);
          break;
        case devrec::kTypeBoolean:
          list.AddBoolean(t.name, t.boolean);
          break;
        default:
          break;
      }
    }
    LocalBuffer record = qwb::BuildDeviceRecord(list, 0, 0, &size);
    benchmark::DoNotOptimize(record.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void Decode(benchmark::State& state, const std::vector<devrec::Property>& props, bool reuse,
            bool task) {
  auto reply = devrec::EncodeReply(7, props);
  qwb::CPropertyMap reused;
  for (auto _ : state) {
    qwb::CPropertyMap fresh;
    qwb::CPropertyMap& map = reuse ? reused : fresh;
    map.Clear();
    const DWORD size = static_cast<DWORD>(reply.size());
    int rc = task ? qwb::DecodeTaskRecord(devrec::kKindTask, reply.data(), size, &map)
                  : qwb::DecodeDeviceRecord(devrec::kKindTask, reply.data(), size, &map);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(map.Find(u"Subject"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}

void Memcpy(benchmark::State& state, const std::vector<devrec::Property>& props) {
  auto reply = devrec::EncodeReply(7, props);
  std::vector<uint8_t> copy(reply.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), reply.data(), reply.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}

void BM_BuildDeviceRecord(benchmark::State& s) { Build(s, TaskProperties(), false); }
void BM_BuildDeviceRecord20Reused(benchmark::State& s) { Build(s, TwentyProperties(), true); }
void BM_BuildDeviceRecord20Fresh(benchmark::State& s) { Build(s, TwentyProperties(), false); }
void BM_BuildDeviceRecord20Typed(benchmark::State& s) { BuildTyped(s, TwentyProperties()); }
void BM_DecodeTaskRecord(benchmark::State& s) { Decode(s, TaskProperties(), false, true); }
void BM_DecodeTaskRecord20Reused(benchmark::State& s) { Decode(s, TwentyProperties(), true, true); }
void BM_DecodeTaskRecord20Fresh(benchmark::State& s) { Decode(s, TwentyProperties(), false, true); }
void BM_DecodeDeviceRecord20Reused(benchmark::State& s) {
  Decode(s, TwentyProperties(), true, false);
}
void BM_MemcpySameBytes(benchmark::State& s) { Memcpy(s, TaskProperties()); }
void BM_MemcpySameBytes20(benchmark::State& s) { Memcpy(s, TwentyProperties()); }

BENCHMARK(BM_BuildDeviceRecord);
BENCHMARK(BM_BuildDeviceRecord20Reused);
BENCHMARK(BM_BuildDeviceRecord20Fresh);
BENCHMARK(BM_BuildDeviceRecord20Typed);
BENCHMARK(BM_DecodeTaskRecord);
BENCHMARK(BM_DecodeTaskRecord20Reused);
BENCHMARK(BM_DecodeTaskRecord20Fresh);
BENCHMARK(BM_DecodeDeviceRecord20Reused);
BENCHMARK(BM_MemcpySameBytes);
BENCHMARK(BM_MemcpySameBytes20);

}  // namespace

BENCHMARK_MAIN();
