#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/DeviceRecord.h"
#include "link/RapiBase.h"
#include "link/RapiSIMWM.h"
#include "tests/link/FakeRapiStream.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace {

// Captures every debug line while alive.
struct DebugLines {
  std::vector<std::string> lines;
  DebugLines() {
    wincompat::SetDebugLineHook([this](const std::string& l) { lines.push_back(l); });
  }
  ~DebugLines() { wincompat::SetDebugLineHook(nullptr); }
  size_t Count(const std::string& line) const {
    size_t n = 0;
    for (const auto& l : lines) n += l == line;
    return n;
  }
};

// A loopback socket that listens but never serves, named to the RAPI layer as the device:
// the kernel accepts the connection and no reply ever comes.
struct SilentDevice {
  int fd = -1;
  SilentDevice() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 8);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    setenv("QWBDCAWM_DEVICE", ("tcp:127.0.0.1:" + std::to_string(ntohs(a.sin_port))).c_str(), 1);
  }
  ~SilentDevice() {
    unsetenv("QWBDCAWM_DEVICE");
    close(fd);
  }
};

// A stream that records what goes through it. The fake service owns it, so a release
// too many shows as a wrapped reference count.
class FakeStream final : public qwbtest::FakeRapiStream {
 public:
  FakeStream() { refs = 1; }
  std::vector<uint8_t> written;

  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    std::memset(pv, 0x5A, cb);
    if (pcbRead) *pcbRead = cb;
    return S_OK;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    const auto* p = static_cast<const uint8_t*>(pv);
    written.insert(written.end(), p, p + cb);
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }
};

// One call the fake service saw.
struct Call {
  std::u16string dll, function;
  std::vector<uint8_t> input;
  bool streamMode = false;
  bool operator==(const Call&) const = default;
};

// Replaces CeRapiInvoke with a service answering from the test. (That a CeSyncStop comes
// before every invocation is checked against the emulator.)
struct FakeService {
  std::vector<Call> calls;
  HRESULT result = S_OK;
  std::vector<uint8_t> reply;
  bool replyOnFailure = false;
  std::vector<std::unique_ptr<FakeStream>> streams;

  FakeService() {
    CRapiBase::SetInvokeForTesting([this](LPCWSTR dll, LPCWSTR fn, DWORD cbIn, BYTE* in,
                                          DWORD* cbOut, BYTE** out, IRAPIStream** stream,
                                          DWORD) -> HRESULT {
      calls.push_back({dll, fn, std::vector<uint8_t>(in, in + cbIn), stream != nullptr});
      if (stream) {
        if (FAILED(result)) return result;
        streams.push_back(std::make_unique<FakeStream>());
        *stream = streams.back().get();
        return S_OK;
      }
      if ((SUCCEEDED(result) || replyOnFailure) && !reply.empty()) {
        *out = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, reply.size()));
        std::memcpy(*out, reply.data(), reply.size());
        *cbOut = static_cast<DWORD>(reply.size());
      }
      return result;
    });
  }
  ~FakeService() { CRapiBase::SetInvokeForTesting(nullptr); }
};

TEST(RapiBase, SessionWithADeviceThatNeverAnswers) {
  SilentDevice device;
  DebugLines debug;
  for (int i = 0; i < 8; ++i) CoUninitialize();
  ASSERT_EQ(CoInitialize(nullptr), S_OK);  // the host's own COM init
  // The test holds a session of its own, so that the count shows the link's one uninit.
  RAPIINIT own{};
  own.cbSize = sizeof own;
  ASSERT_EQ(CeRapiInitEx(&own), S_OK);
  {
    CRapiBase link;
    EXPECT_FALSE(link.HasStream());
    EXPECT_EQ(debug.Count("[QWBDCAWM]WM>> initRapiComm() hr = 0x800705b4\n"), 1u);
    // A second open is a no-op once the session was tried.
    EXPECT_EQ(link.initRapiComm(), S_OK);
    // The device data object closes the link, then destroys it (which closes it again).
    link.uninitRapiComm();
    EXPECT_EQ(link.m_nRapiInitialised, 0);
  }
  EXPECT_EQ(debug.Count("[QWBDCAWM]WM>> uninitRapiComm()\n"), 2u);
  EXPECT_EQ(debug.Count("[QWBDCAWM]WM>> pStream Release\n"), 0u);
  // The link took back exactly its own CeRapiInitEx and COM init.
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

TEST(RapiBase, StreamOpensOnceAndReopensAfterADrop) {
  DebugLines debug;
  FakeService service;
  {
    CRapiBase link;
    EXPECT_FALSE(link.HasStream());
    const uint8_t packet[] = {1, 2, 3, 4, 5};
    ULONG n = 0;
    ASSERT_EQ(link.StreamWrite(packet, 5, &n), S_OK);
    EXPECT_EQ(n, 5u);
    const Call open{u"QWBRapiServer", u"DevCeApplyAllData", {}, true};
    EXPECT_EQ(service.calls, std::vector<Call>{open});
    EXPECT_EQ(debug.Count("[QWBDCAWM]CeRapiInvoke DevCeApplyAllData hr = 0x0\n"), 1u);

    // An open stream is used as it is.
    uint8_t in[3] = {};
    ASSERT_EQ(link.StreamRead(in, 3, &n), S_OK);
    EXPECT_EQ(in[2], 0x5A);
    ASSERT_EQ(link.StreamWrite(packet, 2, &n), S_OK);
    EXPECT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.streams[0]->written, (std::vector<uint8_t>{1, 2, 3, 4, 5, 1, 2}));

    // The phonebook drops a failed stream and clears the field; the next write reopens.
    link.ReleaseStream();
    EXPECT_EQ(service.streams[0]->refs, 0u);
    ASSERT_EQ(link.StreamWrite(packet, 1, &n), S_OK);
    EXPECT_EQ(service.calls, (std::vector<Call>{open, open}));
    EXPECT_EQ(service.streams[1]->written, std::vector<uint8_t>{1});
    EXPECT_EQ(link.StreamForTesting(), service.streams[1].get());

    // A stream that cannot be opened fails the write with the open's HRESULT.
    link.ReleaseStream();
    service.result = static_cast<HRESULT>(0x80072746u);
    EXPECT_EQ(link.StreamWrite(packet, 1, &n), static_cast<HRESULT>(0x80072746u));
    EXPECT_EQ(link.StreamRead(in, 1, &n), static_cast<HRESULT>(0x80072746u));
    EXPECT_FALSE(link.HasStream());
    EXPECT_EQ(debug.Count("[QWBDCAWM]CeRapiInvoke DevCeApplyAllData hr = 0x80072746\n"), 2u);

    // The link releases an open stream when it closes.
    service.result = S_OK;
    ASSERT_EQ(link.StartApplyAllData(), S_OK);
  }
  EXPECT_EQ(debug.Count("[QWBDCAWM]WM>> pStream Release\n"), 1u);
  EXPECT_EQ(service.streams[2]->refs, 0u);
}

TEST(RapiBase, BlockInvocation) {
  DebugLines debug;
  FakeService service;
  service.reply = {7, 0, 0, 0, 1, 2};
  std::vector<uint8_t> reply = {9, 9};
  HRESULT hr = CRapiBase::InvokeBlock(u"DevCeGet", "CDataTableWMTask::NextItem",
                                      {3, 0, 0, 0, 0x12, 0, 0, 0}, &reply);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(reply, service.reply);
  EXPECT_EQ(
      service.calls,
      (std::vector<Call>{{u"QWBRapiServer", u"DevCeGet", {3, 0, 0, 0, 0x12, 0, 0, 0}, false}}));
  ASSERT_EQ(debug.lines.size(), 1u);
  EXPECT_EQ(debug.lines[0], "[CDataTableWMTask::NextItem]DevCeGet hr=0x0");

  // A failure is returned, with no reply even when the service handed one back (it is
  // freed all the same; the leak checker would see it otherwise).
  service.result = static_cast<HRESULT>(0x80070490u);
  service.replyOnFailure = true;
  hr = CRapiBase::InvokeBlock(u"DevCeDelete", "CDataTableWMTask::DeleteItem",
                              {3, 0, 0, 0, 0x13, 0, 0, 0}, &reply);
  EXPECT_EQ(hr, static_cast<HRESULT>(0x80070490u));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(debug.lines.back(), "[CDataTableWMTask::DeleteItem]DevCeDelete hr=0x80070490");
}

TEST(RapiBase, SimInformation) {
  DebugLines debug;
  FakeService service;
  using devrec::Property;
  service.reply = devrec::EncodeReply(
      0, {Property::Integer("nUsed", 12), Property::Integer("nTotal", 250),
          Property::Integer("MaxPBEAddressLength", 40), Property::Integer("MaxPBETextLength", 14),
          Property::Integer("MinPBIndex", 1), Property::Integer("MaxPBIndex", 250),
          Property::Integer("MaxANRLength", 20), Property::Integer("MaxEmailAddrLength", 50),
          Property::Integer("MaxGroupTagLength", 10), Property::Integer("MaxANRTagLength", 8),
          Property::Integer("ANRCount", 3), Property::Integer("EmailAddrCount", 1),
          Property::Integer("MaxGroupTag", 5), Property::Boolean("fHidden", 0xFFFF),
          Property::Boolean("fUid", 1), Property::Integer("MaxGroupIdCount", 9),
          Property::String("Name", "ignored")});
  rapiSIMWM sim;
  EXPECT_EQ(sim.getSIMInformation(), S_OK);
  EXPECT_EQ(service.calls,
            (std::vector<Call>{{u"QWBRapiServer", u"DevCePhonebookSIMInfo", {6, 0, 0, 0}, false}}));
  EXPECT_EQ(debug.lines.back(), "[rapiSIMWM::getSIMInformation]DevCePhonebookSIMInfo hr=0x0");
  const DWORD* block = &sim.m_nUsed;
  std::vector<DWORD> words(block, block + 18);
  // MaxANRTag is absent and stays 0, as does the word that is never filled; fUid's 1 is
  // not 0xFFFF and reads 0.
  EXPECT_EQ(words,
            (std::vector<DWORD>{12, 250, 40, 14, 1, 250, 0, 20, 50, 10, 8, 3, 1, 5, 0, 1, 0, 9}));

  // A failing call leaves the values of the last successful one.
  service.result = static_cast<HRESULT>(0x80004005u);
  EXPECT_EQ(sim.getSIMInformation(), static_cast<HRESULT>(0x80004005u));
  EXPECT_EQ(sim.m_nTotal, 250u);
  // A reply that does not decode fails the call without touching the block.
  service.result = S_OK;
  service.reply = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(sim.getSIMInformation(), E_FAIL);
  EXPECT_EQ(sim.m_nUsed, 12u);
}

}  // namespace
