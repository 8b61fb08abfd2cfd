// Fuzzes the readers of the message and SIM records: any bytes, as a stream message record,
// as the entry-ID and message-ID list replies, as the get-by-entry-ID request and as the SIM
// record list, must be read without touching memory outside them; what is read is bounded by
// what arrived, and what the one writer of each format writes again reads back the same.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/Check.h"
#include "link/MessageRecords.h"

namespace {

using fuzzsupport::Check;

// A text read from a fixed area fills it when it has no NUL there: the writer, which keeps
// room for the NUL, refuses such a text (it never cuts one).
bool FillsArea(const std::u16string& s, size_t chars) { return s.size() > chars; }

void StreamMessage(const std::vector<uint8_t>& in) {
  // One record: the input cut or zero-padded to the record's size, in a buffer of exactly
  // that size.
  std::vector<uint8_t> record(devrec::kStreamMessageSize);
  if (!in.empty()) std::memcpy(record.data(), in.data(), std::min(in.size(), record.size()));
  devrec::StreamMessage m = devrec::ReadStreamMessage(record.data());
  std::array<uint8_t, devrec::kStreamMessageSize> again;
  if (devrec::WriteStreamMessage(m, &again)) {
    Check(devrec::ReadStreamMessage(again.data()) == m);
    // Written once more, the record is the same bytes: the writer is deterministic.
    std::array<uint8_t, devrec::kStreamMessageSize> third;
    Check(devrec::WriteStreamMessage(devrec::ReadStreamMessage(again.data()), &third) &&
          third == again);
  } else {
    Check(FillsArea(m.number, devrec::kStreamNumberChars) ||
          FillsArea(m.text, devrec::kStreamTextChars) ||
          FillsArea(m.identifier, devrec::kStreamIdentChars) ||
          FillsArea(m.receiver, devrec::kStreamReceiverChars));
  }
}

void EntryIds(const std::vector<uint8_t>& in) {
  std::vector<devrec::EntryId> ids;
  size_t skipped = 0;
  devrec::ReadError e = devrec::ReadEntryIdList(in.data(), in.size(), &ids, &skipped);
  // Each entry takes at least its 4-byte length.
  Check(ids.size() + skipped <= (in.size() < 12 ? 0 : (in.size() - 12) / 4));
  for (const devrec::EntryId& id : ids) Check(id.length <= devrec::kEntryIdSize);
  std::vector<uint8_t> encoded = devrec::EncodeEntryIdList(1, 2, ids);
  std::vector<devrec::EntryId> back;
  Check(devrec::ReadEntryIdList(encoded.data(), encoded.size(), &back, &skipped) ==
            devrec::ReadError::kOk &&
        skipped == 0);
  // The reader of a short reply lists nothing; an empty list encodes to 12 bytes.
  Check(back == ids);
  (void)e;
  // Each entry asked for by its ID, as the phone reads the request.
  for (const devrec::EntryId& id : ids) {
    std::vector<uint8_t> request = devrec::EncodeGetByEntryId(4, 1, id);
    uint32_t kind = 0, folder = 0;
    devrec::EntryId read;
    Check(devrec::ReadGetByEntryId(request.data(), request.size(), &kind, &folder, &read) &&
          kind == 4 && folder == 1 && read == id);
  }
  uint32_t kind, folder;
  devrec::EntryId id;
  if (devrec::ReadGetByEntryId(in.data(), in.size(), &kind, &folder, &id)) {
    Check(id.length <= devrec::kEntryIdSize && 12 + id.length <= in.size());
    std::vector<uint8_t> request = devrec::EncodeGetByEntryId(kind, folder, id);
    Check(request.size() == 12 + id.length &&
          std::memcmp(request.data(), in.data(), request.size()) == 0);
  }
}

void MessageIds(const std::vector<uint8_t>& in) {
  std::vector<uint32_t> ids;
  devrec::ReadMessageIdList(in.data(), in.size(), &ids);
  Check(ids.size() <= (in.size() < 12 ? 0 : (in.size() - 12) / 4));
  std::vector<uint8_t> encoded = devrec::EncodeMessageIdList(0, 0, ids);
  std::vector<uint32_t> back;
  Check(devrec::ReadMessageIdList(encoded.data(), encoded.size(), &back) ==
            devrec::ReadError::kOk &&
        back == ids);
}

void SimRecords(const std::vector<uint8_t>& in) {
  std::vector<devrec::SimRecord> records;
  devrec::ReadSimRecordList(in.data(), in.size(), &records);
  Check(records.size() <= in.size() / devrec::kSimRecordSize);
  std::vector<std::array<uint8_t, devrec::kSimRecordSize>> written;
  for (const devrec::SimRecord& r : records) {
    std::array<uint8_t, devrec::kSimRecordSize> bytes;
    if (!devrec::WriteSimRecord(r, &bytes)) {
      Check(FillsArea(r.name, devrec::kSimNameChars) ||
            FillsArea(r.number, devrec::kSimNumberChars) ||
            FillsArea(r.number2, devrec::kSimNumberChars) ||
            FillsArea(r.email, devrec::kSimEmailChars));
      return;
    }
    written.push_back(bytes);
  }
  std::vector<uint8_t> encoded = devrec::EncodeSimRecordList(written);
  std::vector<devrec::SimRecord> back;
  Check(devrec::ReadSimRecordList(encoded.data(), encoded.size(), &back) ==
            devrec::ReadError::kOk &&
        back == records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes go into a buffer of their own size, so that ASan sees any overrun. Every
  // reader gets every input: the lists share their layouts' first words.
  std::vector<uint8_t> in(data, data + size);
  StreamMessage(in);
  EntryIds(in);
  MessageIds(in);
  SimRecords(in);
  return 0;
}
