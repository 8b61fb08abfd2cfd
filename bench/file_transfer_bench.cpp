// Copying a 16 MiB file end to end (component -> librapi -> RAPI2 over loopback -> emulator)
// in both directions, beside bare loopback ping-pongs of the frames such a copy exchanges:
// 4 KiB replies for the 4096 fixed device reads of a download, 100 KiB requests for the 164
// writes of an upload. The ping-pongs are the floor the fixed chunk sizes allow.
// Every copy goes to a new file (the last one is deleted outside the timing): overwriting it
// would time the file system discarding the previous 16 MiB and waiting for its write-back
// to the disk, a cost of the PC's disk that comes and goes with the kernel's flushing.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackEcho.h"
#include "emulator/DeviceFs.h"
#include "host/Component.h"
#include "tests/support/EmulatedPhone.h"
#include "host/HostObjects.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

constexpr size_t kFileSize = 16u << 20;
constexpr size_t kReadChunk = 4096, kWriteChunk = 102400;

struct Phone {
  qwbhost::EmulatedPhone phone{"empty", "Aster W1"};
  ComPtr<IDeviceData> device;
  ComPtr<IDataTable> files;
  std::filesystem::path pcFile;
  bool ok = false;

  Phone() {
    setenv("QWBDCAWM_REGISTRY", (phone.folder() / "registry.reg").c_str(), 1);
    setenv("APPDATA", (phone.folder() / "appdata").c_str(), 1);
    wincompat::SetConsoleSink([](const std::string&) {});
    if (FAILED(qwbhost::EnsureComponentRegistered())) return;
    qwbhost::RegisterServerLibrary(qwbhost::ExecutableFolder() + "/libErrorReport.so");
    CoInitialize(nullptr);
    if (FAILED(qwbhost::CreateDeviceData(std::addressof(device)))) return;
    auto connection = qwbhost::HostConnection::Create(u"C:");
    auto modelDb = qwbhost::HostModelDB::Create();
    ok = SUCCEEDED(device->SetConneciton(connection.Get(), modelDb->AsUnknown())) &&
         SUCCEEDED(device->ListDataTable()) &&
         SUCCEEDED(device->GetDataTable(DTID_FILE, files.ReleaseAndGetAddressOf())) && files;
    std::vector<uint8_t> data(kFileSize);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + i / 4096);
    phone.emulator().files().PutFile(u"\\My Documents\\big.bin", data);
    pcFile = phone.folder() / "big.bin";
    std::ofstream(pcFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }

  ComPtr<IItem> Item(const char16_t* name, const std::filesystem::path& pc) {
    ComPtr<IItem> item;
    files->NewItem(DCADT_FILE, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf());
    auto set = [&](ULONG col, std::u16string_view text) {
      item->SetValue(col, Variant::Str(text).Get());
    };
    const std::string path = pc.string();
    set(1, name);                                             // Name
    set(2, u"16777216");                                      // FileSize
    set(10, std::u16string(path.begin(), path.end()));       // PCPath
    set(11, u"/My Documents");                                // Reserved1
    return item;
  }
};

Phone& ThePhone() {
  static Phone phone;
  return phone;
}

void BM_Pull16MiB(benchmark::State& state) {
  Phone& p = ThePhone();
  if (!p.ok) return state.SkipWithError("the component or the emulator did not start");
  ComPtr<IItem> item = p.Item(u"big.bin", p.phone.folder() / "pulled.bin");
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(p.phone.folder() / "pulled.bin");
    state.ResumeTiming();
    if (item->ReadBlobTo(0, nullptr) != S_OK) return state.SkipWithError("ReadBlobTo failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_Pull16MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Push16MiB(benchmark::State& state) {
  Phone& p = ThePhone();
  if (!p.ok) return state.SkipWithError("the component or the emulator did not start");
  ComPtr<IItem> item = p.Item(u"pushed.bin", p.pcFile);
  for (auto _ : state) {
    state.PauseTiming();
    p.phone.emulator().files().DeleteFile(u"\\My Documents\\pushed.bin");
    state.ResumeTiming();
    if (item->WriteBlobFrom(0, nullptr) != S_OK) return state.SkipWithError("WriteBlobFrom failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_Push16MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// `exchanges` frames of `requestPayload` bytes, each answered with `replyPayload` bytes.
void PingPong(benchmark::State& state, size_t exchanges, size_t requestPayload,
              size_t replyPayload) {
  benchutil::EchoServer server(replyPayload);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = benchutil::Loopback(server.port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return state.SkipWithError("connect failed");
  }
  benchutil::NoDelay(fd);
  std::vector<uint8_t> frame = rapi2::Writer().u32(rapi2::kReadFile).zeros(requestPayload).Finish();
  std::vector<uint8_t> reply;
  for (auto _ : state) {
    for (size_t i = 0; i < exchanges; ++i) {
      rapi2::SendAll(fd, frame.data(), frame.size());
      if (rapi2::RecvFrame(fd, &reply, 5000) != rapi2::IoResult::kOk) {
        close(fd);
        return state.SkipWithError("echo failed");
      }
    }
  }
  close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_PingPong4KiBReplies(benchmark::State& state) {
  PingPong(state, kFileSize / kReadChunk, 8, kReadChunk + 4);
}
BENCHMARK(BM_PingPong4KiBReplies)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PingPong100KiBRequests(benchmark::State& state) {
  PingPong(state, (kFileSize + kWriteChunk - 1) / kWriteChunk, kWriteChunk + 8, 4);
}
BENCHMARK(BM_PingPong100KiBRequests)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the phone's store alone costs an upload: 16 MiB written to a new file in the emulator's
// fs/ folder in 100 KiB writes, with no link at all. Beside the push and its ping-pong floor it
// tells the transfer's own overhead from the storage's.
void BM_StoreWrites100KiB(benchmark::State& state) {
  Phone& p = ThePhone();
  const std::filesystem::path file = p.phone.folder() / "image" / "fs" / "store-only.bin";
  std::vector<uint8_t> chunk(kWriteChunk, 0x5A);
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(file);
    state.ResumeTiming();
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return state.SkipWithError("cannot create the file");
    for (size_t at = 0; at < kFileSize; at += kWriteChunk) {
      const size_t n = std::min(kWriteChunk, kFileSize - at);
      if (::pwrite(fd, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
        ::close(fd);
        return state.SkipWithError("write failed");
      }
    }
    ::close(fd);
  }
  std::filesystem::remove(file);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_StoreWrites100KiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
