// Listing N tasks end to end (component -> librapi -> RAPI2 over loopback -> emulator), beside
// a bare loopback socket ping-pong of the same number of request/reply frames, which is the
// floor the transport sets. CPU is the whole process's (both ends run in it): on a loaded
// machine it is the steadier figure of the two.
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

#include "LoopbackEcho.h"
#include "TaskSample.h"
#include "TableListing.h"
#include "emulator/RecordStore.h"
#include "host/Component.h"
#include "tests/support/EmulatedPhone.h"
#include "host/HostObjects.h"
#include "platform/rapi/Rapi2Wire.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace {

// One phone with its component, set up on first use and kept for the whole run.
struct Phone {
  qwbhost::EmulatedPhone phone{"empty", "Aster W1"};
  ComPtr<IDeviceData> device;
  ComPtr<IDataTable> tasks;
  int seeded = -1;
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
         SUCCEEDED(device->GetDataTable(DTID_TASK, tasks.ReleaseAndGetAddressOf())) && tasks;
  }
  void Seed(int n) {
    if (seeded == n) return;
    wmemu::RecordStore store(phone.emulator().image(), 3);
    for (uint32_t id : store.List()) store.Delete(id);
    for (int i = 0; i < n; ++i) {
      std::vector<devrec::RawEntry> raw;
      for (const auto& p : TaskProperties(i)) raw.push_back(wmemu::RecordStore::Raw(3, p));
      store.Add(raw);
    }
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
  ListWholeTable(state, phone.tasks.Get(), n);
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListTasksEndToEnd)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// The same number of exchanges a listing of N makes (the list call, then one get per task),
// with frames of the sizes a task listing sends and receives.
void BM_SocketPingPong(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  benchutil::EchoServer server(devrec::EncodeReply(7, TaskProperties()).size());
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = benchutil::Loopback(server.port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  benchutil::NoDelay(fd);
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
BENCHMARK(BM_SocketPingPong)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
