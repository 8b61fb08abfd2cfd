// Listing N tasks, appointments or text messages end to end (component -> librapi -> RAPI2
// over loopback -> emulator), beside a bare loopback socket ping-pong of the same number of
// request/reply frames, which is the floor the transport sets. CPU is the whole process's (both
// ends run in it): on a loaded machine it is the steadier figure of the two.
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
#include "emulator/MessageStore.h"
#include "emulator/RecordStore.h"
#include "link/MessageRecords.h"
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
  ComPtr<IDataTable> tasks, calendar, messages;
  int seeded = -1, seededAppointments = -1, seededMessages = -1;
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
         SUCCEEDED(device->GetDataTable(DTID_TASK, tasks.ReleaseAndGetAddressOf())) && tasks &&
         SUCCEEDED(device->GetDataTable(DTID_CALENDAR, calendar.ReleaseAndGetAddressOf())) &&
         calendar &&
         SUCCEEDED(device->GetDataTable(DTID_MESSAGE, messages.ReleaseAndGetAddressOf())) &&
         messages;
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
  // Appointments of an hour each, every fifth a weekly one, subjects in Korean and English.
  void SeedAppointments(int n) {
    if (seededAppointments == n) return;
    using devrec::Property;
    wmemu::RecordStore store(phone.emulator().image(), devrec::kKindAppointment);
    for (uint32_t id : store.List()) store.Delete(id);
    for (int i = 0; i < n; ++i) {
      std::vector<Property> props = {
          Property::String("Subject", (i % 2 ? "\xED\x9A\x8C\xEC\x9D\x98 " : "Meeting ") +
                                          std::to_string(i)),
          Property::String("Location", "Room 4"),
          Property::Date("Start", 46100.375 + i),
          Property::Integer("Duration", 60),
          Property::Date("End", 46100.4166 + i),
          Property::Boolean("AllDayEvent", 0),
          Property::Integer("ulBusyStatus", 2),
          Property::Integer("ulSensitivity", 0),
          Property::Boolean("ReminderSet", 0xFFFF),
          Property::Integer("ReminderMinutesBeforeStart", 15),
          Property::Boolean("IsRecurring", i % 5 == 0 ? 0xFFFF : 0)};
      if (i % 5 == 0) {
        props.push_back(Property::Integer("RecurrPattern.RecurrenceType", 1));
        props.push_back(Property::Integer("RecurrPattern.Interval", 1));
        props.push_back(Property::Integer("RecurrPattern.DayOfWeekMask", 4));
        props.push_back(Property::Boolean("RecurrPattern.NoEndDate", 0xFFFF));
      }
      std::vector<devrec::RawEntry> raw;
      for (const auto& p : props) raw.push_back(wmemu::RecordStore::Raw(devrec::kKindAppointment, p));
      store.Add(raw);
    }
    seededAppointments = n;
  }
  // Received text messages in the inbox, Korean and English.
  void SeedMessages(int n) {
    if (seededMessages == n) return;
    wmemu::Image& image = phone.emulator().image();
    wmemu::MessageStore store(image);
    image.Transaction([&] { image.Exec("DELETE FROM messages"); });
    std::vector<wmemu::StoredMessage> all;
    for (int i = 0; i < n; ++i) {
      std::vector<devrec::RawEntry> raw;
      auto add = [&](const devrec::Property& p) {
        raw.push_back(wmemu::RecordStore::Raw(devrec::kKindMessage, p));
      };
      using devrec::Property;
      add(Property::String("PR_MESSAGE_CLASS", "IPM.SMSText"));
      add(Property::String("PR_SENDER_NAME", "\xEA\xB9\x80\xEB\xAF\xBC\xEC\xA4\x80"));
      add(Property::String("PR_SENDER_EMAIL_ADDRESS", "+821055501234"));
      add(Property::String("PR_EMAIL_ADDRESS", "+821055509876"));
      add(Property::String("PR_SUBJECT", "Running late, there in " + std::to_string(i % 30) +
                                             " minutes \xEA\xB3\xA7 \xEB\x8F\x84\xEC\xB0\xA9"));
      add(Property::Date("PR_MESSAGE_DELIVERY_TIME", 46100.5 + i / 100.0));
      add(Property::Date("PR_LAST_MODIFICATION_TIME", 46100.5 + i / 100.0));
      add(Property::Integer("PR_MSG_STATUS", 1));
      add(Property::Integer("PR_MESSAGE_FLAGS", 1));
      all.push_back({0, devrec::kKindMessage, devrec::kFolderInbox, wmemu::kStateRead, raw});
    }
    store.AddAll(all);
    seededMessages = n;
  }
};

Phone& ThePhone() {
  static Phone phone;
  return phone;
}

// Seeds N records with `seed`, then lists `table` whole.
void ListEndToEnd(benchmark::State& state, void (Phone::*seed)(int), ComPtr<IDataTable> Phone::*table) {
  Phone& phone = ThePhone();
  if (!phone.ok) {
    state.SkipWithError("the component or the emulator did not start");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  (phone.*seed)(n);
  ListWholeTable(state, (phone.*table).Get(), n);
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_ListTasksEndToEnd(benchmark::State& s) { ListEndToEnd(s, &Phone::Seed, &Phone::tasks); }
void BM_ListAppointmentsEndToEnd(benchmark::State& s) {
  ListEndToEnd(s, &Phone::SeedAppointments, &Phone::calendar);
}
void BM_ListMessagesEndToEnd(benchmark::State& s) {
  ListEndToEnd(s, &Phone::SeedMessages, &Phone::messages);
}

void Listing(benchmark::internal::Benchmark* b) {
  b->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
}
BENCHMARK(BM_ListTasksEndToEnd)->Arg(10)->Arg(100)->Apply(Listing);
BENCHMARK(BM_ListAppointmentsEndToEnd)->Apply(Listing);
BENCHMARK(BM_ListMessagesEndToEnd)->Apply(Listing);

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
BENCHMARK(BM_SocketPingPong)->Arg(10)->Arg(100)->Apply(Listing);

}  // namespace

BENCHMARK_MAIN();
