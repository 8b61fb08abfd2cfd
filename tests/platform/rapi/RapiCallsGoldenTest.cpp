// The request and reply layouts of the system, process, sync, registry-enumeration and
// file-pointer calls, against bytes typed from the layout tables: the writers produce them
// exactly, the readers take them apart, and a reply that ends early is never read as
// complete.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/rapi/Rapi2Calls.h"
#include "tests/platform/rapi/HexBytes.h"

namespace {

using rapitest::Bytes;
using rapitest::Hex;

// The frame a writer built, length prefix included.
Bytes Frame(rapi2::Writer& w) { return w.Finish(); }
// Its payload alone.
Bytes Payload(rapi2::Writer& w) {
  Bytes f = w.Finish();
  return Bytes(f.begin() + 4, f.end());
}

TEST(RapiCallsGolden, Requests) {
  struct Case {
    const char* what;
    std::function<void(rapi2::Writer&)> write;
    const char* bytes;  // the whole frame
  };
  const Case cases[] = {
      {"GetSpecialFolderPath(CSIDL_PERSONAL, 520)",
       [](rapi2::Writer& w) { rapi2::GetSpecialFolderPath::WriteRequest(w, {5, 520}); },
       "0c 00 00 00 4b 00 00 00 05 00 00 00 08 02 00 00"},
      {"RegEnumValue(h 0x1000, index 0, 6 chars, 4 bytes)",
       [](rapi2::Writer& w) { rapi2::RegEnumValue::WriteRequest(w, {0x1000, 0, 6, 4}); },
       "14 00 00 00 34 00 00 00 00 10 00 00 00 00 00 00 06 00 00 00 04 00 00 00"},
      {"RegEnumKeyEx(HKLM, index 2, 254 chars, no class): placeholder word last",
       [](rapi2::Writer& w) { rapi2::RegEnumKeyEx::WriteRequest(w, {0x80000002, 2, 254, 0}); },
       "18 00 00 00 30 00 00 00 02 00 00 80 02 00 00 00 fe 00 00 00 00 00 00 00 00 00 00 00"},
      {"RegQueryInfoKey(HKCU, no class)",
       [](rapi2::Writer& w) { rapi2::RegQueryInfoKey::WriteRequest(w, {0x80000001, 0}); },
       "10 00 00 00 36 00 00 00 01 00 00 80 00 00 00 00 00 00 00 00"},
      {"RegDeleteValue(h, NULL): the default value",
       [](rapi2::Writer& w) {
         rapi2::RegDelete::Request q;
         q.hkey = 0x1234;
         q.nameNull = true;
         rapi2::RegDelete::WriteRequest(w, 0x35, q);
       },
       "0c 00 00 00 35 00 00 00 34 12 00 00 00 00 00 00"},
      {"RegDeleteKey(HKCU, \"A\")",
       [](rapi2::Writer& w) { rapi2::RegDelete::WriteRequest(w, 0x33, {0x80000001, u"A", false}); },
       "10 00 00 00 33 00 00 00 01 00 00 80 04 00 00 00 41 00 00 00"},
      {"GetFileAttributes(\"\\\")",
       [](rapi2::Writer& w) { rapi2::GetFileAttributes::WriteRequest(w, {u"\\", false}); },
       "0c 00 00 00 14 00 00 00 04 00 00 00 5c 00 00 00"},
      {"SetFilePointer(h, -2, no high, FILE_END)",
       [](rapi2::Writer& w) { rapi2::SetFilePointer::WriteRequest(w, {0x1001, -2, false, 0, 2}); },
       "14 00 00 00 26 00 00 00 01 10 00 00 fe ff ff ff 00 00 00 00 02 00 00 00"},
      {"SetFilePointer(h, 0, high 1, FILE_BEGIN)",
       [](rapi2::Writer& w) { rapi2::SetFilePointer::WriteRequest(w, {0x1001, 0, true, 1, 0}); },
       "18 00 00 00 26 00 00 00 01 10 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00"},
      {"SetEndOfFile(h)", [](rapi2::Writer& w) { rapi2::SetEndOfFile::WriteRequest(w, {0x1001}); },
       "08 00 00 00 27 00 00 00 01 10 00 00"},
      {"GetFileSize(h, high wanted): optional-out block 1, 4, 0",
       [](rapi2::Writer& w) { rapi2::GetFileSize::WriteRequest(w, {0x1001, true}); },
       "14 00 00 00 2e 00 00 00 01 10 00 00 01 00 00 00 04 00 00 00 00 00 00 00"},
      {"GetFileSize(h, no high)",
       [](rapi2::Writer& w) { rapi2::GetFileSize::WriteRequest(w, {0x1001, false}); },
       "0c 00 00 00 2e 00 00 00 01 10 00 00 00 00 00 00"},
      {"GetSystemInfo with a buffer",
       [](rapi2::Writer& w) { rapi2::GetSystemInfo::WriteRequest(w, {true}); },
       "10 00 00 00 3d 00 00 00 01 00 00 00 24 00 00 00 00 00 00 00"},
      {"GetStoreInformation: the command alone",
       [](rapi2::Writer& w) { rapi2::GetStoreInformation::WriteRequest(w); },
       "04 00 00 00 39 00 00 00"},
      {"GetSystemPowerStatusEx(refresh 0)",
       [](rapi2::Writer& w) { rapi2::GetSystemPowerStatusEx::WriteRequest(w, {0}); },
       "08 00 00 00 49 00 00 00 00 00 00 00"},
      {"CreateProcess(\"a\", NULL, flags 0)",
       [](rapi2::Writer& w) { rapi2::CreateProcess::WriteRequest(w, {u"a", u"", true, 0}); },
       "2c 00 00 00 2a 00 00 00 04 00 00 00 61 00 00 00 00 00 00 00"
       " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
      {"ProcessConfig(\"<a/>\", 1)",
       [](rapi2::Writer& w) { rapi2::ProcessConfig::WriteRequest(w, {u"<a/>", false, 1}); },
       "16 00 00 00 0e 00 00 00 0a 00 00 00 3c 00 61 00 2f 00 3e 00 00 00 01 00 00 00"},
      {"SyncTimeToPc(FT 0x01D0000000000000)",
       [](rapi2::Writer& w) { rapi2::SyncTimeToPc::WriteRequest(w, {0x01D0000000000000ull, 0, 10000}); },
       "14 00 00 00 01 00 00 00 00 00 00 00 00 00 d0 01 00 00 00 00 10 27 00 00"},
      {"SyncStart(NULL)",
       [](rapi2::Writer& w) { rapi2::SyncControl::WriteRequest(w, 0x59, {}); },
       "08 00 00 00 59 00 00 00 00 00 00 00"},
      {"SyncResume", [](rapi2::Writer& w) { rapi2::SyncControl::WriteRequest(w, 0x10, {}); },
       "04 00 00 00 10 00 00 00"},
  };
  for (const Case& c : cases) {
    rapi2::Writer w;
    c.write(w);
    EXPECT_EQ(Frame(w), Hex(c.bytes)) << c.what;
  }
}

TEST(RapiCallsGolden, RequestReadersTakeTheTypedBytes) {
  {
    Bytes p = Hex("01 10 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00");
    rapi2::Reader r(p);
    rapi2::SetFilePointer::Request q;
    ASSERT_TRUE(rapi2::SetFilePointer::ReadRequest(r, &q));
    EXPECT_EQ(q.handle, 0x1001u);
    EXPECT_TRUE(q.hasHigh);
    EXPECT_EQ(q.distanceHigh, 1);
    EXPECT_EQ(q.moveMethod, 0u);
  }
  {
    // A hasHigh flag that is neither 0 nor 1 is malformed.
    Bytes p = Hex("01 10 00 00 00 00 00 00 02 00 00 00 00 00 00 00");
    rapi2::Reader r(p);
    rapi2::SetFilePointer::Request q;
    EXPECT_FALSE(rapi2::SetFilePointer::ReadRequest(r, &q));
  }
  {
    Bytes p = Hex("04 00 00 00 61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                  " 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    rapi2::Reader r(p);
    rapi2::CreateProcess::Request q;
    ASSERT_TRUE(rapi2::CreateProcess::ReadRequest(r, &q));
    EXPECT_EQ(q.application, u"a");
    EXPECT_TRUE(q.commandLineNull);
    EXPECT_EQ(q.creationFlags, 8u);
  }
}

TEST(RapiCallsGolden, Replies) {
  struct Case {
    const char* what;
    std::function<void(rapi2::Writer&)> write;
    const char* payload;
  };
  const Case cases[] = {
      {"special folder: counted in units, no terminator, no BOOL",
       [](rapi2::Writer& w) { rapi2::GetSpecialFolderPath::WriteReply(w, {0, u"\\My Documents"}); },
       "00 00 00 00 0d 00 00 00 5c 00 4d 00 79 00 20 00 44 00 6f 00 63 00 75 00 6d 00 65 00 6e 00"
       " 74 00 73 00"},
      {"enum value: DWORD Instl = 1",
       [](rapi2::Writer& w) {
         rapi2::RegEnumValue::Reply r{0, 0, u"Instl", 4, 4, {1, 0, 0, 0}};
         rapi2::RegEnumValue::WriteReply(w, r, true);
       },
       "00 00 00 00 00 00 00 00 05 00 00 00 49 00 6e 00 73 00 74 00 6c 00"
       " 04 00 00 00 04 00 00 00 01 00 00 00"},
      {"enum value asked without a data buffer: the size alone",
       [](rapi2::Writer& w) {
         rapi2::RegEnumValue::Reply r{0, 0, u"Instl", 4, 4, {}};
         rapi2::RegEnumValue::WriteReply(w, r, false);
       },
       "00 00 00 00 00 00 00 00 05 00 00 00 49 00 6e 00 73 00 74 00 6c 00"
       " 04 00 00 00 04 00 00 00"},
      {"end of enumeration: nothing bracketed",
       [](rapi2::Writer& w) {
         rapi2::RegEnumValue::Reply r;
         r.lastErr = 259;
         r.result = 259;
         rapi2::RegEnumValue::WriteReply(w, r, true);
       },
       "03 01 00 00 03 01 00 00"},
      {"enum key with a class buffer",
       [](rapi2::Writer& w) {
         rapi2::RegEnumKeyEx::Reply r{0, 0, u"Ab", u""};
         rapi2::RegEnumKeyEx::WriteReply(w, r, true);
       },
       "00 00 00 00 00 00 00 00 02 00 00 00 41 00 62 00 00 00 00 00"},
      {"query info without a class buffer",
       [](rapi2::Writer& w) {
         rapi2::RegQueryInfoKey::Reply r;
         r.lastErr = 0;
         r.result = 0;
         r.subKeys = 3;
         r.maxSubKeyChars = 7;
         r.values = 2;
         r.maxValueNameChars = 8;
         r.maxValueBytes = 18;
         rapi2::RegQueryInfoKey::WriteReply(w, r, false);
       },
       "00 00 00 00 00 00 00 00 00 00 00 00 03 00 00 00 07 00 00 00 00 00 00 00"
       " 02 00 00 00 08 00 00 00 12 00 00 00"},
      {"power status: no lastErr, BOOL first",
       [](rapi2::Writer& w) {
         rapi2::PowerStatus s;
         s.acLineStatus = 1;
         s.batteryFlag = 1;
         s.batteryLifePercent = 90;
         s.batteryLifeTime = s.batteryFullLifeTime = 0xFFFFFFFF;
         s.backupBatteryFlag = 1;
         s.backupBatteryLifePercent = 100;
         s.backupBatteryLifeTime = s.backupBatteryFullLifeTime = 0xFFFFFFFF;
         rapi2::GetSystemPowerStatusEx::WriteReply(w, {1, s});
       },
       "01 00 00 00 01 01 5a 00 ff ff ff ff ff ff ff ff 00 01 64 00 ff ff ff ff ff ff ff ff"},
      {"system info: lastErr, no result word",
       [](rapi2::Writer& w) {
         rapi2::SystemInfo s;
         s.processorArchitecture = 5;
         s.pageSize = 4096;
         s.minimumApplicationAddress = 0x10000;
         s.maximumApplicationAddress = 0x7FFFFFFF;
         s.activeProcessorMask = 1;
         s.numberOfProcessors = 1;
         s.processorType = 2577;
         s.allocationGranularity = 0x10000;
         s.processorLevel = 4;
         rapi2::GetSystemInfo::WriteReply(w, {0, s});
       },
       "00 00 00 00 05 00 00 00 00 10 00 00 00 00 01 00 ff ff ff 7f 01 00 00 00 01 00 00 00"
       " 11 0a 00 00 00 00 01 00 04 00 00 00"},
      {"set end of file: the BOOL twice",
       [](rapi2::Writer& w) { rapi2::SetEndOfFile::WriteReply(w, {0, 1}); },
       "00 00 00 00 01 00 00 00 01 00 00 00"},
      {"file size with the high word block",
       [](rapi2::Writer& w) { rapi2::GetFileSize::WriteReply(w, {0, 5, 1}, true); },
       "00 00 00 00 05 00 00 00 01 00 00 00 04 00 00 00 01 00 00 00 01 00 00 00"},
      {"file size without",
       [](rapi2::Writer& w) { rapi2::GetFileSize::WriteReply(w, {0, 5, 0}, false); },
       "00 00 00 00 05 00 00 00 00 00 00 00"},
      {"file pointer with its high word",
       [](rapi2::Writer& w) { rapi2::SetFilePointer::WriteReply(w, {0, 0, 1}, true); },
       "00 00 00 00 00 00 00 00 01 00 00 00"},
      {"store information",
       [](rapi2::Writer& w) { rapi2::GetStoreInformation::WriteReply(w, {0, 1, 0x1000, 0x800}); },
       "00 00 00 00 01 00 00 00 00 10 00 00 00 08 00 00"},
      {"create process",
       [](rapi2::Writer& w) { rapi2::CreateProcess::WriteReply(w, {0, 1, {0x1000, 0x1001, 8, 12}}); },
       "00 00 00 00 01 00 00 00 00 10 00 00 01 10 00 00 08 00 00 00 0c 00 00 00"},
      {"process config: text with its terminator",
       [](rapi2::Writer& w) {
         rapi2::ProcessConfig::Reply r;
         r.lastErr = 0;
         r.hr = 0;
         r.text = u"<a/>";
         r.hasText = true;
         rapi2::ProcessConfig::WriteReply(w, r);
       },
       "00 00 00 00 00 00 00 00 0a 00 00 00 3c 00 61 00 2f 00 3e 00 00 00"},
      {"process config failure: no text",
       [](rapi2::Writer& w) { rapi2::ProcessConfig::WriteReply(w, {}); },
       "78 00 00 00 78 00 07 80 00 00 00 00"},
      {"unknown command", [](rapi2::Writer& w) { rapi2::WriteUnknownCommandReply(w); },
       "78 00 00 00"},
  };
  for (const Case& c : cases) {
    rapi2::Writer w;
    c.write(w);
    EXPECT_EQ(Payload(w), Hex(c.payload)) << c.what;
  }
}

TEST(RapiCallsGolden, ReplyReaders) {
  {
    Bytes p = Hex("00 00 00 00 0d 00 00 00 5c 00 4d 00 79 00 20 00 44 00 6f 00 63 00 75 00 6d 00"
                  " 65 00 6e 00 74 00 73 00");
    rapi2::Reader r(p);
    rapi2::GetSpecialFolderPath::Reply rep;
    ASSERT_TRUE(rapi2::GetSpecialFolderPath::ReadReply(r, &rep));
    EXPECT_EQ(rep.path, u"\\My Documents");
  }
  {
    // A device that counts the terminator too: it is dropped.
    Bytes p = Hex("00 00 00 00 02 00 00 00 5c 00 00 00");
    rapi2::Reader r(p);
    rapi2::GetSpecialFolderPath::Reply rep;
    ASSERT_TRUE(rapi2::GetSpecialFolderPath::ReadReply(r, &rep));
    EXPECT_EQ(rep.path, u"\\");
  }
  {
    Bytes p = Hex("01 00 00 00 01 01 5a 00 ff ff ff ff ff ff ff ff 00 01 64 00 ff ff ff ff"
                  " ff ff ff ff");
    rapi2::Reader r(p);
    rapi2::GetSystemPowerStatusEx::Reply rep;
    ASSERT_TRUE(rapi2::GetSystemPowerStatusEx::ReadReply(r, &rep));
    EXPECT_EQ(rep.ok, 1u);
    EXPECT_EQ(rep.status.batteryLifePercent, 90);
    EXPECT_EQ(rep.status.backupBatteryLifePercent, 100);
    EXPECT_EQ(rep.status.batteryLifeTime, 0xFFFFFFFFu);
  }
  {
    // A device that sends the plain E, ok.
    Bytes p = Hex("00 00 00 00 01 00 00 00");
    rapi2::Reader r(p);
    rapi2::SetEndOfFile::Reply rep;
    ASSERT_TRUE(rapi2::SetEndOfFile::ReadReply(r, &rep));
    EXPECT_EQ(rep.ok, 1u);
  }
}

// `120` alone, and each reply cut after any of its words: never complete, and what the
// reader keeps is the call's failure value.
TEST(RapiCallsGolden, ShortRepliesAreNeverComplete) {
  const Bytes unknown = Hex("78 00 00 00");
  auto check = [&](const char* what, auto read, auto failed) {
    rapi2::Reader r(unknown);
    EXPECT_FALSE(read(r)) << what;
    EXPECT_TRUE(failed()) << what;
  };
  rapi2::GetFileAttributes::Reply attrs;
  check("attributes", [&](rapi2::Reader& r) { return rapi2::GetFileAttributes::ReadReply(r, &attrs); },
        [&] { return attrs.attributes == 0xFFFFFFFFu && attrs.lastErr == 120; });
  rapi2::SetFilePointer::Reply pos;
  check("position", [&](rapi2::Reader& r) { return rapi2::SetFilePointer::ReadReply(r, &pos, false); },
        [&] { return pos.newPosLow == 0xFFFFFFFFu; });
  rapi2::GetFileSize::Reply size;
  check("size", [&](rapi2::Reader& r) { return rapi2::GetFileSize::ReadReply(r, &size, false); },
        [&] { return size.sizeLow == 0xFFFFFFFFu; });
  rapi2::RegEnumValue::Reply value;
  check("enum value", [&](rapi2::Reader& r) { return rapi2::RegEnumValue::ReadReply(r, &value, true); },
        [&] { return value.result != 0; });
  rapi2::RegDelete::Reply del;
  check("delete", [&](rapi2::Reader& r) { return rapi2::RegDelete::ReadReply(r, &del); },
        [&] { return del.result != 0; });
  rapi2::ProcessConfig::Reply config;
  check("config", [&](rapi2::Reader& r) { return rapi2::ProcessConfig::ReadReply(r, &config); },
        [&] { return config.hr < 0; });
  rapi2::GetSystemPowerStatusEx::Reply power;
  check("power", [&](rapi2::Reader& r) { return rapi2::GetSystemPowerStatusEx::ReadReply(r, &power); },
        [&] { return true; });

  // Every proper prefix of a complete size-with-high reply is short.
  const Bytes full = Hex("00 00 00 00 05 00 00 00 01 00 00 00 04 00 00 00 01 00 00 00 01 00 00 00");
  for (size_t n = 0; n < full.size(); n += 4) {
    rapi2::Reader r(full.data(), n);
    rapi2::GetFileSize::Reply rep;
    EXPECT_FALSE(rapi2::GetFileSize::ReadReply(r, &rep, true)) << n;
    EXPECT_EQ(rep.sizeLow, 0xFFFFFFFFu) << n;
  }
}

}  // namespace
