// The device record reader: any bytes, as a reply of every record kind (first byte) and as
// a request of both modes, are read without touching memory outside them; what is read
// takes no more memory than the bytes it came from; and whatever reads as a reply reads
// back the same after being written again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/DeviceRecord.h"

namespace {

bool SameEntries(const std::vector<devrec::RawEntry>& a, const std::vector<devrec::RawEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].value != b[i].value) return false;
  }
  return true;
}

// Names and values are copies of the record's bytes: together never more than the record.
void CheckBounded(const std::vector<devrec::RawEntry>& entries, size_t size) {
  size_t total = 0;
  for (const devrec::RawEntry& e : entries) total += e.name.size() + e.value.size();
  if (total > size) std::abort();
}

void Touch(const std::vector<devrec::RawEntry>& entries) {
  for (const devrec::RawEntry& e : entries) {
    double d;
    int32_t i;
    uint16_t b;
    devrec::ValueAsDate(e, &d);
    devrec::ValueAsInteger(e, &i);
    devrec::ValueAsBoolean(e, &b);
    (void)devrec::ValueAsString(e);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t kind = data[0] % 9;  // 0 and 8 are kinds without a table
  // The record itself goes into a buffer of its own size, so that ASan sees any overrun.
  std::vector<uint8_t> record(data + 1, data + size);
  const uint8_t* rec = record.empty() ? nullptr : record.data();

  for (devrec::TypeLookup lookup : {&devrec::LookupType, &devrec::LookupTaskType}) {
    std::vector<devrec::RawEntry> entries;
    devrec::ReadError err = devrec::ReadReply(rec, record.size(), kind, lookup, &entries);
    CheckBounded(entries, record.size());
    Touch(entries);
    if (err != devrec::ReadError::kOk) continue;
    std::vector<devrec::Property> props;
    for (const devrec::RawEntry& e : entries) props.push_back({e.name, e.value});
    std::vector<uint8_t> again = devrec::EncodeReply(0, props);
    std::vector<devrec::RawEntry> reread;
    if (devrec::ReadReply(again.data(), again.size(), kind, lookup, &reread) !=
            devrec::ReadError::kOk ||
        !SameEntries(entries, reread))
      std::abort();
  }
  for (int mode : {devrec::kModeAdd, devrec::kModeReplace}) {
    devrec::Request request;
    if (devrec::ReadRequest(rec, record.size(), mode, &request) == devrec::ReadError::kOk) {
      if (request.properties.size() != request.count) std::abort();
      CheckBounded(request.properties, record.size());
      Touch(request.properties);
    }
  }
  return 0;
}
