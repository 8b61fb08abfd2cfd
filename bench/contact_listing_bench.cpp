// Listing N contacts end to end (component -> phonebook stream over loopback -> emulator),
// beside the floor of the bare stream round trips a listing makes per contact on a plain
// loopback socket: the contact (a 16-byte request, a contact reply of the same size), then
// the speed-dial list, which a contact read fetches again to match its telephones (an 8-byte
// request, the empty list the seeded phone has).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/PhonebookStore.h"
#include "TableListing.h"
#include "emulator/RecordStore.h"
#include "host/Component.h"
#include "tests/support/EmulatedPhone.h"
#include "host/HostObjects.h"
#include "link/PhonebookPacket.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace {

// A contact as an address book holds many: names, two numbers, an e-mail, an address.
std::vector<devrec::Property> ContactProperties(int i = 0) {
  std::string n = std::to_string(i);
  return {devrec::Property::String("FirstName", "First" + n),
          devrec::Property::String("LastName", "Last" + n),
          devrec::Property::String("MobileTelephoneNumber", "010-5555-" + n),
          devrec::Property::String("HomeTelephoneNumber", "02-555-" + n),
          devrec::Property::String("Email1Address", "person" + n + "@example.com"),
          devrec::Property::String("HomeAddressStreet", n + " Teheran-ro"),
          devrec::Property::String("HomeAddressCity", "Seoul"),
          devrec::Property::Date("Birthday", 30000 + i % 9000)};
}

struct Phone {
  qwbhost::EmulatedPhone phone{"empty", "Aster W1"};
  ComPtr<IDeviceData> device;
  ComPtr<IDataTable> table;
  int seeded = 0;
  bool ok = false;

  Phone() {
    setenv("QWBDCAWM_REGISTRY", (phone.folder() / "registry.reg").c_str(), 1);
    if (FAILED(qwbhost::EnsureComponentRegistered())) return;
    qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so");
    CoInitialize(nullptr);
    if (FAILED(qwbhost::CreateDeviceData(std::addressof(device)))) return;
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    ok = SUCCEEDED(device->SetConneciton(connection.Get(), modelDb->AsUnknown())) &&
         SUCCEEDED(device->ListDataTable()) &&
         SUCCEEDED(device->GetDataTable(DTID_PHONEBOOK, table.ReleaseAndGetAddressOf())) && table;
    wmemu::PhonebookStore(phone.emulator().image()).AddCategory("Work");
  }
  // Grows the address book to n contacts (the listings of one run go from small to large).
  void Seed(int n) {
    wmemu::RecordStore store(phone.emulator().image(), 1);
    for (; seeded < n; ++seeded) {
      std::vector<devrec::RawEntry> raw;
      for (const auto& p : ContactProperties(seeded)) raw.push_back(wmemu::RecordStore::Raw(1, p));
      store.Add(raw);
    }
  }
};

Phone& ThePhone() {
  static Phone phone;
  return phone;
}

void BM_ListContactsEndToEnd(benchmark::State& state) {
  Phone& phone = ThePhone();
  if (!phone.ok) {
    state.SkipWithError("the component or the emulator did not start");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  phone.Seed(n);
  ListWholeTable(state, phone.table.Get(), n + 1);  // the one group, then the contacts
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListContactsEndToEnd)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

bool ReadAll(int fd, void* p, size_t n) {
  auto* b = static_cast<uint8_t*>(p);
  while (n) {
    ssize_t r = recv(fd, b, n, 0);
    if (r <= 0) return false;
    b += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool WriteAll(int fd, const void* p, size_t n) {
  auto* b = static_cast<const uint8_t*>(p);
  while (n) {
    ssize_t r = send(fd, b, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    b += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// Answers every 16-byte request with one contact reply.
struct StreamServer {
  int listenFd = socket(AF_INET, SOCK_STREAM, 0), port = 0;
  std::thread thread;
  StreamServer() {
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    bind(listenFd, reinterpret_cast<sockaddr*>(&addr), len);
    listen(listenFd, 1);
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    thread = std::thread([this] {
      int fd = accept(listenFd, nullptr, nullptr);
      if (fd < 0) return;
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      const std::vector<uint8_t> contact = pbpacket::ContactReply(7, ContactProperties(1234));
      const std::vector<uint8_t> dials = pbpacket::SpeedDialListReply({});
      uint8_t header[pbpacket::kRequestHeaderSize], words[8];
      for (;;) {
        if (!ReadAll(fd, header, sizeof header)) break;
        const pbpacket::RequestHeader h = pbpacket::ReadRequestHeader(header);
        if (h.length > sizeof words || !ReadAll(fd, words, h.length)) break;
        const std::vector<uint8_t>& reply =
            h.command == pbpacket::kListSpeedDials ? dials : contact;
        if (!WriteAll(fd, reply.data(), reply.size())) break;
      }
      close(fd);
    });
  }
  ~StreamServer() {
    shutdown(listenFd, SHUT_RDWR);
    close(listenFd);
    if (thread.joinable()) thread.join();
  }
};

void BM_StreamRoundTripsPerContact(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  StreamServer server;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(server.port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const std::vector<uint8_t> requests[] = {
      pbpacket::WordsRequest(pbpacket::kGetContact, {1, 7}),
      pbpacket::WordsRequest(pbpacket::kListSpeedDials, {})};
  std::vector<uint8_t> body;
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      for (const std::vector<uint8_t>& request : requests) {
        uint32_t length = 0;
        if (!WriteAll(fd, request.data(), request.size()) || !ReadAll(fd, &length, 4)) {
          state.SkipWithError("round trip failed");
          break;
        }
        body.resize(length);
        ReadAll(fd, body.data(), length);
      }
    }
  }
  close(fd);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StreamRoundTripsPerContact)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
