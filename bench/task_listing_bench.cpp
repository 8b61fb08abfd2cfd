// Listing N tasks end to end (component -> librapi -> RAPI2 over loopback -> emulator), beside
// a bare loopback socket ping-pong of the same number of request/reply frames, which is the
// floor the transport sets.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/RecordStore.h"
#include "host/support/Component.h"
#include "host/support/HostObjects.h"
#include "link/DeviceRecord.h"
#include "platform/rapi/Rapi2Wire.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace {

using devrec::Property;

std::vector<devrec::RawEntry> SampleTask(int n) {
  std::vector<Property> props = {
      Property::String("Subject", "Task number " + std::to_string(n)),
      Property::String("Body", "Compare three quotes; the broker's number is in contacts."),
      Property::Date("StartDate", 46100.0 + n),
      Property::Date("DueDate", 46107.0 + n),
      Property::Boolean("Complete", 0),
      Property::Integer("Importance", 1 + n % 3),
      Property::Boolean("ReminderSet", 0xFFFF),
      Property::Date("ReminderTime", 46099.375 + n),
      Property::String("Categories", "Business"),
      Property::Integer("ulSensitivity", 0),
      Property::Boolean("IsRecurring", 0xFFFF),
      Property::Integer("RecurrPattern.RecurrenceType", 1),
      Property::Integer("RecurrPattern.DayOfWeekMask", 10),
      Property::Integer("RecurrPattern.Interval", 1),
      Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF)};
  std::vector<devrec::RawEntry> raw;
  for (const auto& p : props) raw.push_back(wmemu::RecordStore::Raw(3, p));
  return raw;
}

// One phone with its component, set up on first use and kept for the whole run.
struct Phone {
  std::filesystem::path root;
  std::unique_ptr<wmemu::Emulator> emu;
  ComPtr<IDeviceData> device;
  ComPtr<IDataTable> tasks;
  int seeded = -1;
  bool ok = false;

  Phone() {
    char tmpl[] = "/tmp/qwb-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    root = tmpl;
    setenv("QWBDCAWM_REGISTRY", (root / "registry.reg").c_str(), 1);
    wmemu::Emulator::CreateImage(root / "phone", "empty", "Aster W1");
    emu = wmemu::Emulator::Open(root / "phone");
    setenv("QWBDCAWM_DEVICE", emu->Listen("tcp:127.0.0.1:0").c_str(), 1);
    if (FAILED(qwbhost::EnsureComponentRegistered())) return;
    qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so");
    CoInitialize(nullptr);
    if (FAILED(qwbhost::CreateDeviceData(std::addressof(device)))) return;
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    if (FAILED(device->SetConneciton(connection.Get(), modelDb->AsUnknown())) ||
        FAILED(device->ListDataTable()) ||
        FAILED(device->GetDataTable(DTID_TASK, tasks.ReleaseAndGetAddressOf())))
      return;
    ok = true;
  }
  ~Phone() {
    tasks = nullptr;
    device = nullptr;
    if (emu) emu->Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  void Seed(int n) {
    if (seeded == n) return;
    wmemu::RecordStore store(emu->image(), 3);
    for (uint32_t id : store.List()) store.Delete(id);
    for (int i = 0; i < n; ++i) store.Add(SampleTask(i));
    seeded = n;
  }
};

Phone& ThePhone() {
  static Phone phone;
  return phone;
}

void BM_ListTasksEndToEnd(benchmark::State& state) {
  Phone& phone = ThePhone();
  if (!phone.ok) {
    state.SkipWithError("the component or the emulator did not start");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  phone.Seed(n);
  for (auto _ : state) {
    if (phone.tasks->ListItemsAllBegin() != S_OK) {
      state.SkipWithError("ListItemsAllBegin failed");
      break;
    }
    int got = 0;
    for (;;) {
      ComPtr<IItem> item;
      if (FAILED(phone.tasks->NextItem(item.ReleaseAndGetAddressOf()))) {
        state.SkipWithError("NextItem failed");
        break;
      }
      if (!item) break;
      ++got;
    }
    if (got != n) state.SkipWithError("short listing");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListTasksEndToEnd)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Echoes every frame it receives with a reply of `replySize` bytes.
struct EchoServer {
  int listenFd = -1, port = 0;
  std::thread thread;
  explicit EchoServer(size_t replySize) {
    listenFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listenFd, 1);
    socklen_t len = sizeof addr;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    thread = std::thread([this, replySize] {
      int fd = accept(listenFd, nullptr, nullptr);
      if (fd < 0) return;
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::vector<uint8_t> reply = rapi2::Writer().u32(0).u32(0).zeros(replySize).Finish();
      std::vector<uint8_t> request;
      while (rapi2::RecvFrame(fd, &request, -1) == rapi2::IoResult::kOk)
        if (rapi2::SendAll(fd, reply.data(), reply.size()) != rapi2::IoResult::kOk) break;
      close(fd);
    });
  }
  ~EchoServer() {
    shutdown(listenFd, SHUT_RDWR);
    close(listenFd);
    if (thread.joinable()) thread.join();
  }
};

// The same number of exchanges a listing of N makes (the list call, then one get per task),
// with frames of the sizes a task listing sends and receives.
void BM_SocketPingPong(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<uint8_t> sample = devrec::EncodeReply(7, {});
  {
    std::vector<devrec::Property> props;
    for (const auto& r : SampleTask(0)) props.push_back({r.name, r.value});
    sample = devrec::EncodeReply(7, props);
  }
  EchoServer server(sample.size());
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(server.port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const uint32_t request[2] = {3, 1};
  std::vector<uint8_t> frame = rapi2::Writer()
                                   .u32(rapi2::kRapiInvoke)
                                   .str(u"QWBRapiServer")
                                   .str(u"DevCeGet")
                                   .u32(sizeof request)
                                   .bytes(request, sizeof request)
                                   .u32(0)
                                   .Finish();
  std::vector<uint8_t> reply;
  for (auto _ : state) {
    for (int i = 0; i <= n; ++i) {
      rapi2::SendAll(fd, frame.data(), frame.size());
      if (rapi2::RecvFrame(fd, &reply, 5000) != rapi2::IoResult::kOk) {
        state.SkipWithError("echo failed");
        break;
      }
    }
  }
  close(fd);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SocketPingPong)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
