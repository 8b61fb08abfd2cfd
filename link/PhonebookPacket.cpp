#include "link/PhonebookPacket.h"

#include <algorithm>
#include <cstring>

#include "platform/util/LittleEndian.h"

namespace pbpacket {
namespace {

// Device property identifiers of the telephones, by phone kind code.
constexpr uint32_t kPropertyIds[12] = {
    0x0096001F,  // 0 mobile
    0x0099001F,  // 1 home
    0x009A001F,  // 2 home 2
    0x0097001F,  // 3 business
    0x0098001F,  // 4 business 2
    0x009C001F,  // 5 home fax
    0x009B001F,  // 6 business fax
    0x009D001F,  // 7 pager
    0x009E001F,  // 8 car
    0x009F001F,  // 9 radio
    0x00A0001F,  // 10 company
    0x00A1001F,  // 11 assistant
};

// A request with its 8-byte header and room for `payload` bytes.
std::vector<uint8_t> Frame(uint32_t command, size_t payload) {
  std::vector<uint8_t> out(kRequestHeaderSize + payload);
  le::Put32(out.data(), command);
  le::Put32(out.data() + 4, static_cast<uint32_t>(payload));
  return out;
}

// A reply: L, then the body.
std::vector<uint8_t> Reply(const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out;
  out.reserve(4 + body.size());
  le::Append32(&out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

void PutText(uint8_t* dst, const std::u16string& text) {
  size_t n = std::min(text.size(), kSpeedDialTextUnits - 1);
  for (size_t i = 0; i < n; ++i) {
    dst[2 * i] = static_cast<uint8_t>(text[i]);
    dst[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

// The text of a 512-byte field up to its NUL, or all 256 units when it has none.
std::u16string GetText(const uint8_t* src) {
  std::u16string text;
  for (size_t i = 0; i < kSpeedDialTextUnits; ++i) {
    char16_t c = static_cast<char16_t>(src[2 * i] | src[2 * i + 1] << 8);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace

const char* ErrorText(Error e) {
  switch (e) {
    case Error::kOk:
      return "ok";
    case Error::kTruncated:
      return "the packet is shorter than its counts and lengths say";
    case Error::kBadProperty:
      return "a property does not read as one";
    case Error::kBadKind:
      return "the record kind is not the command's";
    case Error::kTooLarge:
      return "a length beyond what a packet may carry";
  }
  return "?";
}

uint32_t PropertyIdOfKind(int kind) {
  return kind >= 0 && kind < 12 ? kPropertyIds[kind] : kNoPropertyId;
}

int KindOfPropertyId(uint32_t propertyId) {
  for (int k = 0; k < 12; ++k)
    if (kPropertyIds[k] == propertyId) return k;
  return -1;
}

// ---- Requests: writer ------------------------------------------------------------------------

std::vector<uint8_t> WordsRequest(uint32_t command, std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out = Frame(command, 4 * words.size());
  uint8_t* p = out.data() + kRequestHeaderSize;
  for (uint32_t w : words) {
    le::Put32(p, w);
    p += 4;
  }
  return out;
}

std::vector<uint8_t> CategoryWriteRequest(uint32_t command, uint32_t categoryId,
                                          std::string_view utf8Name) {
  std::vector<uint8_t> out = Frame(command, 12 + utf8Name.size());
  uint8_t* p = out.data() + kRequestHeaderSize;
  le::Put32(p, kCategoryKind);
  le::Put32(p + 4, categoryId);
  le::Put32(p + 8, static_cast<uint32_t>(utf8Name.size()));
  if (!utf8Name.empty()) std::memcpy(p + 12, utf8Name.data(), utf8Name.size());
  return out;
}

void WriteSpeedDialEntry(uint8_t* dst, const SpeedDialEntry& e) {
  std::memset(dst, 0, kSpeedDialEntrySize);
  le::Put32(dst, e.number);
  le::Put32(dst + 4, e.entryId);
  le::Put32(dst + 12, e.propertyId);
  PutText(dst + 24, e.name);
  PutText(dst + 536, e.telephone);
}

std::vector<uint8_t> SpeedDialRequest(uint32_t command, const SpeedDialEntry& entry) {
  std::vector<uint8_t> out = Frame(command, kSpeedDialEntrySize);
  WriteSpeedDialEntry(out.data() + kRequestHeaderSize, entry);
  return out;
}

std::vector<uint8_t> ContactPacket(uint32_t command, uint32_t entryId,
                                   std::span<const PropertyRef> props) {
  size_t total = kContactHeaderSize;
  for (const PropertyRef& p : props)
    total += devrec::PropertyWireSize(static_cast<uint32_t>(p.name.size() + 1), p.valueLength);
  std::vector<uint8_t> out(total);
  uint8_t* at = out.data();
  le::Put32(at, command);
  le::Put32(at + 4, static_cast<uint32_t>(total - kRequestHeaderSize));
  le::Put32(at + 8, devrec::kKindContact);
  le::Put32(at + 12, entryId);
  le::Put32(at + 16, static_cast<uint32_t>(props.size()));
  at += kContactHeaderSize;
  std::string name;
  for (const PropertyRef& p : props) {
    name.assign(p.name);  // with the NUL the wire carries
    at += devrec::WriteProperty(at, name.c_str(), static_cast<uint32_t>(name.size() + 1), p.value,
                                p.valueLength);
  }
  return out;
}

// ---- Requests: reader ------------------------------------------------------------------------

RequestHeader ReadRequestHeader(const uint8_t header[kRequestHeaderSize]) {
  return RequestHeader{le::Get32(header), le::Get32(header + 4)};
}

Error ReadWords(std::span<const uint8_t> payload, size_t n, uint32_t* out) {
  if (payload.size() < 4 * n) return Error::kTruncated;
  for (size_t i = 0; i < n; ++i) out[i] = le::Get32(payload.data() + 4 * i);
  return Error::kOk;
}

Error ReadContactWrite(std::span<const uint8_t> payload, ContactWrite* out) {
  *out = ContactWrite{};
  if (payload.size() < 12) return Error::kTruncated;
  devrec::Request request;
  // The payload is a replace-mode device record: kind, entry id, count, properties.
  if (devrec::ReadRequest(payload.data(), payload.size(), devrec::kModeReplace, &request) !=
      devrec::ReadError::kOk)
    return Error::kBadProperty;
  if (request.kind != devrec::kKindContact) return Error::kBadKind;
  out->entryId = request.entryId;
  out->properties = std::move(request.properties);
  return Error::kOk;
}

Error ReadCategoryWrite(std::span<const uint8_t> payload, uint32_t* categoryId,
                        std::string* name) {
  uint32_t w[3];
  if (Error e = ReadWords(payload, 3, w); e != Error::kOk) return e;
  if (w[0] != kCategoryKind) return Error::kBadKind;
  if (w[2] > payload.size() - 12) return Error::kTruncated;
  *categoryId = w[1];
  name->assign(reinterpret_cast<const char*>(payload.data() + 12), w[2]);
  return Error::kOk;
}

Error ReadSpeedDialEntry(std::span<const uint8_t> bytes, SpeedDialEntry* out) {
  if (bytes.size() < kSpeedDialEntrySize) return Error::kTruncated;
  const uint8_t* p = bytes.data();
  out->number = le::Get32(p);
  out->entryId = le::Get32(p + 4);
  out->propertyId = le::Get32(p + 12);
  out->name = GetText(p + 24);
  out->telephone = GetText(p + 536);
  return Error::kOk;
}

// ---- Replies: writer -------------------------------------------------------------------------

std::vector<uint8_t> IdReply(uint32_t id) {
  std::vector<uint8_t> out;
  le::Append32(&out, 4);
  le::Append32(&out, id);
  return out;
}

std::vector<uint8_t> ErrorReply(uint32_t code) {
  std::vector<uint8_t> out;
  le::Append32(&out, 0);
  le::Append32(&out, code);
  return out;
}

std::vector<uint8_t> ContactReply(uint32_t entryId, const std::vector<devrec::Property>& props) {
  const std::vector<uint8_t> record = devrec::EncodeReply(0, props);
  return ContactReply(entryId, static_cast<uint32_t>(props.size()),
                      std::span<const uint8_t>(record).subspan(4));
}

std::vector<uint8_t> ContactReply(uint32_t entryId, uint32_t count, std::span<const uint8_t> packed) {
  // L, the entry id, then a device record reply whose leading word carries the property
  // count, which the reader does not need.
  std::vector<uint8_t> out(12 + packed.size());
  le::Put32(out.data(), static_cast<uint32_t>(8 + packed.size()));
  le::Put32(out.data() + 4, entryId);
  le::Put32(out.data() + 8, count);
  if (!packed.empty()) std::memcpy(out.data() + 12, packed.data(), packed.size());
  return out;
}

std::vector<uint8_t> EntryIdListReply(const std::vector<uint32_t>& ids) {
  std::vector<uint8_t> body;
  le::Append32(&body, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) le::Append32(&body, id);
  return Reply(body);
}

std::vector<uint8_t> CategoryListReply(const std::vector<Category>& categories) {
  std::vector<uint8_t> body;
  le::Append32(&body, static_cast<uint32_t>(categories.size()));  // the word the reader skips
  for (const Category& c : categories) {
    uint32_t length = static_cast<uint32_t>(c.name.size() + 1);
    le::Append32(&body, c.id);
    le::Append32(&body, length);
    body.insert(body.end(), c.name.begin(), c.name.end());
    body.resize(body.size() + 1 + devrec::PadOf(length), 0);
  }
  return Reply(body);
}

std::vector<uint8_t> SpeedDialListReply(const std::vector<SpeedDialEntry>& entries) {
  std::vector<uint8_t> body(4 + entries.size() * kSpeedDialEntrySize);
  le::Put32(body.data(), static_cast<uint32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i)
    WriteSpeedDialEntry(body.data() + 4 + i * kSpeedDialEntrySize, entries[i]);
  return Reply(body);
}

// ---- Replies: reader -------------------------------------------------------------------------

Error ReadFirstWord(std::span<const uint8_t> body, uint32_t* out) {
  return ReadWords(body, 1, out);
}

Error ReadContactReply(std::span<const uint8_t> body, uint32_t* entryId,
                       std::vector<devrec::RawEntry>* props) {
  props->clear();
  if (Error e = ReadFirstWord(body, entryId); e != Error::kOk) return e;
  devrec::ReadError err = devrec::ReadReply(body.data() + 4, body.size() - 4, devrec::kKindContact,
                                            devrec::LookupType, props);
  return err == devrec::ReadError::kOk ? Error::kOk : Error::kBadProperty;
}

Error ReadEntryIdList(std::span<const uint8_t> body, std::vector<uint32_t>* ids) {
  ids->clear();
  uint32_t count = 0;
  if (Error e = ReadFirstWord(body, &count); e != Error::kOk) return e;
  if (count > (body.size() - 4) / 4) return Error::kTruncated;
  ids->reserve(count);
  for (uint32_t i = 0; i < count; ++i) ids->push_back(le::Get32(body.data() + 4 + 4 * i));
  return Error::kOk;
}

Error ReadCategoryList(std::span<const uint8_t> body, std::vector<Category>* categories) {
  categories->clear();
  if (body.size() < 4) return Error::kTruncated;
  size_t at = 4;
  std::vector<Category> read;
  while (at < body.size()) {
    if (body.size() - at < 8) return Error::kTruncated;
    Category c;
    c.id = le::Get32(body.data() + at);
    uint32_t length = le::Get32(body.data() + at + 4);
    at += 8;
    if (length > body.size() - at) return Error::kTruncated;
    const char* name = reinterpret_cast<const char*>(body.data() + at);
    const void* nul = std::memchr(name, 0, length);
    c.name.assign(name, nul ? static_cast<size_t>(static_cast<const char*>(nul) - name) : length);
    // The pad after the last name carries nothing; a list that ends without it is whole.
    at = std::min(body.size(), at + length + devrec::PadOf(length));
    read.push_back(std::move(c));
  }
  *categories = std::move(read);
  return Error::kOk;
}

Error ReadSpeedDialList(std::span<const uint8_t> body, std::vector<SpeedDialEntry>* entries) {
  entries->clear();
  uint32_t count = 0;
  if (Error e = ReadFirstWord(body, &count); e != Error::kOk) return e;
  if (count > (body.size() - 4) / kSpeedDialEntrySize) return Error::kTruncated;
  entries->resize(count);
  for (uint32_t i = 0; i < count; ++i)
    ReadSpeedDialEntry(body.subspan(4 + i * kSpeedDialEntrySize, kSpeedDialEntrySize),
                       &(*entries)[i]);
  return Error::kOk;
}

}  // namespace pbpacket
