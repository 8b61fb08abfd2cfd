#include "emulator/PhonebookService.h"

#include <chrono>
#include <thread>

#include "emulator/FaultInjector.h"
#include "emulator/PhonebookStore.h"
#include "emulator/RecordStore.h"
#include "emulator/ServiceRegistry.h"
#include "link/PhonebookPacket.h"

namespace wmemu {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBadLength = 0x80070018u;
constexpr uint32_t kNotFound = 0x80070490u;
constexpr uint32_t kInvalidArg = 0x80070057u;

bool IsContactWrite(uint32_t command) {
  return command == pbpacket::kAddContact || command == pbpacket::kReplaceContact;
}

bool HasReply(uint32_t command) {
  switch (command) {
    case pbpacket::kAddContact:
    case pbpacket::kReplaceContact:
    case pbpacket::kGetContact:
    case pbpacket::kListContactIds:
    case pbpacket::kListCategories:
    case pbpacket::kAddCategory:
    case pbpacket::kRenameCategory:
    case pbpacket::kListSpeedDials:
      return true;
    default:
      return false;
  }
}

// L = 0: after a contact write the error code follows.
Bytes Refusal(uint32_t command, uint32_t code) {
  if (IsContactWrite(command)) return pbpacket::ErrorReply(code);
  return Bytes(4, 0);
}

Bytes ContactWrite(ServiceContext& ctx, uint32_t command, const Bytes& payload) {
  pbpacket::ContactWrite w;
  pbpacket::Error err = pbpacket::ReadContactWrite(payload, &w);
  if (err == pbpacket::Error::kBadKind) return pbpacket::ErrorReply(kInvalidArg);
  if (err != pbpacket::Error::kOk) return pbpacket::ErrorReply(kBadLength);
  RecordStore contacts(ctx.image(), devrec::kKindContact);
  if (command == pbpacket::kAddContact) return pbpacket::IdReply(contacts.Add(w.properties));
  if (!contacts.Replace(w.entryId, w.properties)) return pbpacket::ErrorReply(kNotFound);
  return pbpacket::IdReply(w.entryId);
}

// The reply to one request (empty for the commands that have none).
Bytes Handle(ServiceContext& ctx, uint32_t command, const Bytes& payload) {
  PhonebookStore store(ctx.image());
  RecordStore contacts(ctx.image(), devrec::kKindContact);
  uint32_t w[2] = {0, 0};
  switch (command) {
    case pbpacket::kAddContact:
    case pbpacket::kReplaceContact:
      return ContactWrite(ctx, command, payload);
    case pbpacket::kDeleteContact:
      if (pbpacket::ReadWords(payload, 2, w) == pbpacket::Error::kOk && w[0] == devrec::kKindContact)
        store.DeleteContact(w[1]);
      return {};
    case pbpacket::kGetContact: {
      if (pbpacket::ReadWords(payload, 2, w) != pbpacket::Error::kOk || w[0] != devrec::kKindContact)
        return Refusal(command, 0);
      // Straight from the store: the entry id, then the properties as they are kept.
      Bytes record;
      if (!contacts.GetReply(w[1], &record)) return Refusal(command, 0);
      const std::span<const uint8_t> packed = std::span<const uint8_t>(record).subspan(4);
      return pbpacket::ContactReply(w[1], devrec::CountProperties(packed), packed);
    }
    case pbpacket::kListContactIds:
      if (pbpacket::ReadWords(payload, 1, w) != pbpacket::Error::kOk || w[0] != devrec::kKindContact)
        return pbpacket::EntryIdListReply({});
      return pbpacket::EntryIdListReply(contacts.List());
    case pbpacket::kListCategories:
      return pbpacket::CategoryListReply(store.Categories());
    case pbpacket::kAddCategory:
    case pbpacket::kRenameCategory: {
      uint32_t id = 0;
      std::string name;
      if (pbpacket::ReadCategoryWrite(payload, &id, &name) != pbpacket::Error::kOk)
        return Refusal(command, 0);
      if (command == pbpacket::kAddCategory) {
        auto added = store.AddCategory(name);
        return added ? pbpacket::IdReply(*added) : Refusal(command, 0);
      }
      return store.RenameCategory(id, name) ? pbpacket::IdReply(id) : Refusal(command, 0);
    }
    case pbpacket::kDeleteCategory:
      if (pbpacket::ReadWords(payload, 2, w) == pbpacket::Error::kOk && w[0] == pbpacket::kCategoryKind)
        store.DeleteCategory(w[1]);
      return {};
    case pbpacket::kListSpeedDials:
      return pbpacket::SpeedDialListReply(store.SpeedDials());
    case pbpacket::kAddSpeedDial:
    case pbpacket::kReplaceSpeedDial:
    case pbpacket::kClearSpeedDials: {
      pbpacket::SpeedDialEntry e;
      if (pbpacket::ReadSpeedDialEntry(payload, &e) != pbpacket::Error::kOk) return {};
      if (command == pbpacket::kAddSpeedDial) {
        store.AddSpeedDial(e);
      } else if (command == pbpacket::kReplaceSpeedDial) {
        store.PutSpeedDial(e);
      } else {
        store.ClearSpeedDials(e.entryId);
      }
      return {};
    }
    default:
      return {};
  }
}

void Serve(ServiceContext& ctx, ServiceStream& stream) {
  FaultInjector* faults = ctx.faults();
  for (;;) {
    uint8_t header[pbpacket::kRequestHeaderSize];
    if (!stream.ReadNext(header, sizeof header)) return;
    pbpacket::RequestHeader h = pbpacket::ReadRequestHeader(header);
    const char* name = PhonebookCommandName(h.command);
    if (!*name || h.length > pbpacket::kMaxBody) return;
    Bytes payload(h.length);
    if (h.length && !stream.Read(payload.data(), payload.size())) return;
    if (faults && faults->TakeDropOnCall(name)) return;
    if (faults) {
      if (int ms = faults->DelayFor(name)) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    Bytes reply;
    if (auto f = faults ? faults->TakeFailure(name) : std::nullopt) {
      if (HasReply(h.command)) reply = Refusal(h.command, static_cast<uint32_t>(f->Hresult()));
    } else {
      reply = Handle(ctx, h.command, payload);
    }
    if (!reply.empty() && !stream.WriteReply(name, reply.data(), reply.size())) return;
  }
}

}  // namespace

const char* PhonebookCommandName(uint32_t command) {
  switch (command) {
    case pbpacket::kAddContact:
      return "DevCeAddContact";
    case pbpacket::kReplaceContact:
      return "DevCeReplaceContact";
    case pbpacket::kDeleteContact:
      return "DevCeDeleteContact";
    case pbpacket::kGetContact:
      return "DevCeGetContact";
    case pbpacket::kListContactIds:
      return "DevCeListContacts";
    case pbpacket::kListCategories:
      return "DevCeListCategories";
    case pbpacket::kAddCategory:
      return "DevCeAddCategory";
    case pbpacket::kRenameCategory:
      return "DevCeRenameCategory";
    case pbpacket::kDeleteCategory:
      return "DevCeDeleteCategory";
    case pbpacket::kListSpeedDials:
      return "DevCeListSpeedDials";
    case pbpacket::kAddSpeedDial:
      return "DevCeAddSpeedDial";
    case pbpacket::kReplaceSpeedDial:
      return "DevCeReplaceSpeedDial";
    case pbpacket::kClearSpeedDials:
      return "DevCeClearSpeedDials";
    default:
      return "";
  }
}

void RegisterPhonebookService(ServiceRegistry& services) {
  services.AddStream("DevCeApplyAllData", Serve);
}

}  // namespace wmemu
