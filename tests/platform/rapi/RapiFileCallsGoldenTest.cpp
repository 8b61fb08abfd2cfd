// The request and reply layouts of the file, registry and invocation calls, against bytes
// typed from the layout tables (the worked examples among them): the writers produce them
// exactly and the readers take them apart, refusing counts the bytes cannot hold.
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

Bytes Frame(rapi2::Writer& w) { return w.Finish(); }
// The payload of a typed frame (its length prefix dropped).
Bytes PayloadOf(const std::string& frame) {
  Bytes f = Hex(frame);
  return Bytes(f.begin() + 4, f.end());
}

const uint8_t kThree[4] = {3, 0, 0, 0};
const uint8_t kAbc[3] = {'a', 'b', 'c'};
const uint8_t kSeven[4] = {7, 0, 0, 0};
const uint8_t kOut[4] = {0xaa, 0xbb, 0xcc, 0xdd};
const uint8_t kA[4] = {'a', 0, 0, 0};

struct Golden {
  const char* what;
  std::function<void(rapi2::Writer&)> write;
  const char* frame;
};

TEST(RapiFileCallsGolden, Requests) {
  const Golden cases[] = {
      {"CreateFile(\\a.txt, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, NORMAL, 0)",
       [](rapi2::Writer& w) {
         rapi2::CreateFile::WriteRequest(w, {u"\\a.txt", false, 0x80000000, 1, 3, 0x80, 0});
       },
       "2a 00 00 00 16 00 00 00 0e 00 00 00 5c 00 61 00 2e 00 74 00 78 00 74 00 00 00"
       " 00 00 00 80 01 00 00 00 03 00 00 00 80 00 00 00 00 00 00 00"},
      {"RapiInvoke(QWBRapiServer, DevCeList, 03 00 00 00, block)",
       [](rapi2::Writer& w) {
         rapi2::RapiInvoke::WriteRequest(
             w, {0, u"QWBRapiServer", u"DevCeList", false, false, kThree, 4, 0});
       },
       "4c 00 00 00 4c 00 00 00 00 00 00 00 1c 00 00 00"
       " 51 00 57 00 42 00 52 00 61 00 70 00 69 00 53 00 65 00 72 00 76 00 65 00 72 00 00 00"
       " 14 00 00 00 44 00 65 00 76 00 43 00 65 00 4c 00 69 00 73 00 74 00 00 00"
       " 04 00 00 00 03 00 00 00 00 00 00 00"},
      {"ReadFile(h, 64 KiB)",
       [](rapi2::Writer& w) { rapi2::ReadFile::WriteRequest(w, {0x1001, 0x10000}); },
       "0c 00 00 00 17 00 00 00 01 10 00 00 00 00 01 00"},
      {"WriteFile(h, \"abc\")",
       [](rapi2::Writer& w) { rapi2::WriteFile::WriteRequest(w, {0x1001, kAbc, 3}); },
       "0f 00 00 00 18 00 00 00 01 10 00 00 03 00 00 00 61 62 63"},
      {"CloseHandle(h)",
       [](rapi2::Writer& w) { rapi2::HandleRequest::WriteRequest(w, 0x19, {0x1001}); },
       "08 00 00 00 19 00 00 00 01 10 00 00"},
      {"SetFileTime(h, creation only)",
       [](rapi2::Writer& w) {
         rapi2::SetFileTime::Request q;
         q.handle = 0x1001;
         q.given = {true, false, false};
         q.times = {0x01D0000000000001ull, 0, 0};
         rapi2::SetFileTime::WriteRequest(w, q);
       },
       "1c 00 00 00 42 00 00 00 01 10 00 00 08 00 00 00 01 00 00 00 00 00 d0 01"
       " 00 00 00 00 00 00 00 00"},
      {"CopyFile(\\a, \\b, fail if exists)",
       [](rapi2::Writer& w) {
         rapi2::CopyMoveFile::WriteRequest(w, 0x2c, {u"\\a", u"\\b", false, false, 1});
       },
       "1c 00 00 00 2c 00 00 00 06 00 00 00 5c 00 61 00 00 00 06 00 00 00 5c 00 62 00 00 00"
       " 01 00 00 00"},
      {"MoveFile(\\a, \\b): no flag word",
       [](rapi2::Writer& w) {
         rapi2::CopyMoveFile::WriteRequest(w, 0x2b, {u"\\a", u"\\b", false, false, 1});
       },
       "18 00 00 00 2b 00 00 00 06 00 00 00 5c 00 61 00 00 00 06 00 00 00 5c 00 62 00 00 00"},
      {"DeleteFile(\\a)",
       [](rapi2::Writer& w) { rapi2::PathRequest::WriteRequest(w, 0x2d, {u"\\a", false}); },
       "0e 00 00 00 2d 00 00 00 06 00 00 00 5c 00 61 00 00 00"},
      {"GetDiskFreeSpaceEx(\\)",
       [](rapi2::Writer& w) { rapi2::PathRequest::WriteRequest(w, 0x5c, {u"\\", false}); },
       "0c 00 00 00 5c 00 00 00 04 00 00 00 5c 00 00 00"},
      {"FindAllFiles(*, 0xB3)",
       [](rapi2::Writer& w) { rapi2::FindAllFiles::WriteRequest(w, {u"*", false, 0xB3}); },
       "10 00 00 00 1a 00 00 00 04 00 00 00 2a 00 00 00 b3 00 00 00"},
      {"RegOpenKeyEx(HKLM, A)",
       [](rapi2::Writer& w) {
         rapi2::RegOpenKey::WriteRequest(w, 0x2f, {0x80000002, u"A", false, u"", true});
       },
       "10 00 00 00 2f 00 00 00 02 00 00 80 04 00 00 00 41 00 00 00"},
      {"RegCreateKeyEx(HKCU, A, class NULL)",
       [](rapi2::Writer& w) {
         rapi2::RegOpenKey::WriteRequest(w, 0x31, {0x80000001, u"A", false, u"", true});
       },
       "14 00 00 00 31 00 00 00 01 00 00 80 04 00 00 00 41 00 00 00 00 00 00 00"},
      {"RegQueryValueEx(h, NULL, no buffer)",
       [](rapi2::Writer& w) { rapi2::RegQueryValueEx::WriteRequest(w, {0x1000, u"", true, 0}); },
       "10 00 00 00 37 00 00 00 00 10 00 00 00 00 00 00 00 00 00 00"},
      {"RegSetValueEx(h, v, REG_DWORD 7)",
       [](rapi2::Writer& w) {
         rapi2::RegSetValueEx::WriteRequest(w, {0x1000, u"v", false, 4, kSeven, 4});
       },
       "1c 00 00 00 38 00 00 00 00 10 00 00 04 00 00 00 76 00 00 00 04 00 00 00 04 00 00 00"
       " 07 00 00 00"},
      {"RegCloseKey(h)",
       [](rapi2::Writer& w) { rapi2::HandleRequest::WriteRequest(w, 0x32, {0x1000}); },
       "08 00 00 00 32 00 00 00 00 10 00 00"},
  };
  for (const Golden& c : cases) {
    rapi2::Writer w;
    c.write(w);
    EXPECT_EQ(Frame(w), Hex(c.frame)) << c.what;
  }
}

// A find entry "ab": archive, created at FILETIME 1, 5 bytes, OID 0x77; S = 40 + 6.
const char* kFindFirstReply =
    "3a 00 00 00 | 00 00 00 00 | 00 10 00 00 | 2e 00 00 00 | 20 00 00 00"
    " 01 00 00 00 00 00 00 00 | 00*16 | 00 00 00 00 | 05 00 00 00 | 77 00 00 00"
    " 61 00 62 00 00 00";
// 0xB3 with one folder "a", created at FILETIME 2, 9 bytes.
const char* kFindAllReply =
    "28 00 00 00 | 00 00 00 00 | 01 00 00 00 | 01 00 00 00"
    " 04 00 00 00 | 10 00 00 00 | 02 00 00 00 00 00 00 00 | 00 00 00 00 | 09 00 00 00"
    " 61 00 00 00";

rapi2::FindData EntryAb() {
  rapi2::FindData d;
  d.attributes = 0x20;
  d.creation = 1;
  d.sizeLow = 5;
  d.oid = 0x77;
  d.name = u"ab";
  return d;
}

TEST(RapiFileCallsGolden, Replies) {
  const Golden cases[] = {
      {"find first: handle, S, the structure up to the name's NUL",
       [](rapi2::Writer& w) { rapi2::FindFile::WriteReply(w, {0, 0x1000, true, EntryAb()}); },
       kFindFirstReply},
      {"find first, nothing matches: S = 0",
       [](rapi2::Writer& w) { rapi2::FindFile::WriteReply(w, {18, 0xFFFFFFFF, false, {}}); },
       "0c 00 00 00 12 00 00 00 ff ff ff ff 00 00 00 00"},
      {"find all, 0xB3: name bytes, attributes, creation, size high, size low, name",
       [](rapi2::Writer& w) {
         rapi2::FindData d;
         d.attributes = 0x10;
         d.creation = 2;
         d.sizeLow = 9;
         d.name = u"a";
         rapi2::FindAllFiles::WriteReply(w, {0, 1, {d}}, 0xB3);
       },
       kFindAllReply},
      {"version 5.2 build 21234, CE, no service pack",
       [](rapi2::Writer& w) {
         rapi2::GetVersionEx::WriteReply(w, {0, 1, 5, 2, 21234, 3, {}});
       },
       "20 01 00 00 00 00 00 00 01 00 00 00 14 01 00 00 14 01 00 00 05 00 00 00 02 00 00 00"
       " f2 52 00 00 03 00 00 00 00*256"},
      {"read 3 bytes",
       [](rapi2::Writer& w) { rapi2::ReadFile::WriteReply(w, {0, 1, kAbc, 3}); },
       "0f 00 00 00 00 00 00 00 01 00 00 00 03 00 00 00 61 62 63"},
      {"file times",
       [](rapi2::Writer& w) { rapi2::GetFileTime::WriteReply(w, {0, 1, 1, 2, 3}); },
       "20 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00"
       " 03 00 00 00 00 00 00 00"},
      {"disk space: 4 GiB free to the caller",
       [](rapi2::Writer& w) {
         rapi2::GetDiskFreeSpaceEx::WriteReply(w, {0, 1, 0x100000000ull, 5, 6});
       },
       "20 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 05 00 00 00 00 00 00 00"
       " 06 00 00 00 00 00 00 00"},
      {"key created",
       [](rapi2::Writer& w) { rapi2::RegOpenKey::WriteReply(w, 0x31, {0, 0, 0x1001, 1}); },
       "10 00 00 00 00 00 00 00 00 00 00 00 01 10 00 00 01 00 00 00"},
      {"key missing: nothing bracketed",
       [](rapi2::Writer& w) { rapi2::RegOpenKey::WriteReply(w, 0x2f, {2, 2, 0, 0}); },
       "08 00 00 00 02 00 00 00 02 00 00 00"},
      {"value REG_SZ \"a\"",
       [](rapi2::Writer& w) { rapi2::RegQueryValueEx::WriteReply(w, {0, 0, true, 1, 4, kA}); },
       "14 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 04 00 00 00 61 00 00 00"},
      {"value larger than the buffer: 234 with type and size",
       [](rapi2::Writer& w) {
         rapi2::RegQueryValueEx::WriteReply(w, {234, 234, true, 1, 4, nullptr});
       },
       "10 00 00 00 ea 00 00 00 ea 00 00 00 01 00 00 00 04 00 00 00"},
      {"invoke, block, 4 bytes out",
       [](rapi2::Writer& w) { rapi2::RapiInvoke::WriteReply(w, {0, 0, kOut, 4}); },
       "10 00 00 00 00 00 00 00 00 00 00 00 04 00 00 00 aa bb cc dd"},
      {"invoke failed: nothing after the HRESULT",
       [](rapi2::Writer& w) {
         rapi2::RapiInvoke::WriteReply(w, {5, static_cast<int32_t>(0x80070005), kOut, 4});
       },
       "08 00 00 00 05 00 00 00 05 00 07 80"},
      {"stream accepted", [](rapi2::Writer& w) { rapi2::RapiInvoke::WriteStreamReply(w, 0); },
       "04 00 00 00 00 00 00 00"},
  };
  for (const Golden& c : cases) {
    rapi2::Writer w;
    c.write(w);
    EXPECT_EQ(Frame(w), Hex(c.frame)) << c.what;
  }
}

TEST(RapiFileCallsGolden, ReplyReaders) {
  {
    const Bytes p = PayloadOf(kFindFirstReply);
    rapi2::Reader r(p);
    rapi2::FindFile::Reply rep;
    ASSERT_TRUE(rapi2::FindFile::ReadReply(r, &rep));
    EXPECT_EQ(rep.result, 0x1000u);
    ASSERT_TRUE(rep.found);
    const rapi2::FindData want = EntryAb();
    EXPECT_EQ(rep.data.name, want.name);
    EXPECT_EQ(rep.data.attributes, want.attributes);
    EXPECT_EQ(rep.data.creation, want.creation);
    EXPECT_EQ(rep.data.sizeLow, want.sizeLow);
    EXPECT_EQ(rep.data.oid, want.oid);
  }
  {
    const Bytes p = PayloadOf(kFindAllReply);
    rapi2::Reader r(p);
    rapi2::FindAllFiles::Reply rep;
    ASSERT_TRUE(rapi2::FindAllFiles::ReadReply(r, &rep, 0xB3));
    ASSERT_EQ(rep.found.size(), 1u);
    EXPECT_EQ(rep.found[0].name, u"a");
    EXPECT_EQ(rep.found[0].attributes, 0x10u);
    EXPECT_EQ(rep.found[0].creation, 2u);
    EXPECT_EQ(rep.found[0].sizeLow, 9u);
  }
  {
    // Entries of no field take no bytes: 65536 of them is the most a reply may list.
    const Bytes p = Hex("00 00 00 00 01 00 00 00 00 00 01 00");
    rapi2::Reader r(p);
    rapi2::FindAllFiles::Reply rep;
    ASSERT_TRUE(rapi2::FindAllFiles::ReadReply(r, &rep, 0));
    EXPECT_EQ(rep.found.size(), 65536u);
  }
  {
    // The same bytes read with the size probe's reader: the data come anyway and are taken.
    const Bytes p = PayloadOf("14 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 04 00 00 00 61 00 00 00");
    rapi2::Reader r(p);
    rapi2::RegQueryValueEx::Reply rep;
    ASSERT_TRUE(rapi2::RegQueryValueEx::ReadReply(r, &rep, false));
    EXPECT_EQ(rep.size, 4u);
    ASSERT_NE(rep.data, nullptr);
    EXPECT_EQ(rep.data[0], 'a');
  }
  // Lengths the bytes cannot hold, or a structure beyond its size, are refused.
  struct Refused {
    const char* what;
    const char* payload;
    std::function<bool(rapi2::Reader&)> read;
  };
  const Refused refused[] = {
      {"find data of 562 bytes", "00 00 00 00 00 10 00 00 32 02 00 00 00*562",
       [](rapi2::Reader& r) {
         rapi2::FindFile::Reply rep;
         return rapi2::FindFile::ReadReply(r, &rep);
       }},
      {"find data shorter than its fixed fields", "00 00 00 00 00 10 00 00 26 00 00 00 00*38",
       [](rapi2::Reader& r) {
         rapi2::FindFile::Reply rep;
         return rapi2::FindFile::ReadReply(r, &rep);
       }},
      {"find all: a count no reply holds", "00 00 00 00 01 00 00 00 ff ff ff 7f 00*24",
       [](rapi2::Reader& r) {
         rapi2::FindAllFiles::Reply rep;
         return rapi2::FindAllFiles::ReadReply(r, &rep, 0xB3);
       }},
      {"find all: more than 65536 entries, even of no field",
       "00 00 00 00 01 00 00 00 01 00 01 00",
       [](rapi2::Reader& r) {
         rapi2::FindAllFiles::Reply rep;
         return rapi2::FindAllFiles::ReadReply(r, &rep, 0);
       }},
      {"find all: a name of 522 bytes", "00 00 00 00 01 00 00 00 01 00 00 00 0a 02 00 00 00*542",
       [](rapi2::Reader& r) {
         rapi2::FindAllFiles::Reply rep;
         return rapi2::FindAllFiles::ReadReply(r, &rep, 0xB3);
       }},
      {"version: S above 276", "00 00 00 00 01 00 00 00 18 01 00 00 00*280",
       [](rapi2::Reader& r) {
         rapi2::GetVersionEx::Reply rep;
         return rapi2::GetVersionEx::ReadReply(r, &rep);
       }},
      {"read: n beyond the frame", "00 00 00 00 01 00 00 00 08 00 00 00 61 62",
       [](rapi2::Reader& r) {
         rapi2::ReadFile::Reply rep;
         return rapi2::ReadFile::ReadReply(r, &rep);
       }},
      {"invoke: output beyond the frame", "00 00 00 00 00 00 00 00 e8 03 00 00 00*10",
       [](rapi2::Reader& r) {
         rapi2::RapiInvoke::Reply rep;
         return rapi2::RapiInvoke::ReadReply(r, &rep);
       }},
      {"created key without its disposition", "00 00 00 00 00 00 00 00 01 10 00 00",
       [](rapi2::Reader& r) {
         rapi2::RegOpenKey::Reply rep;
         return rapi2::RegOpenKey::ReadReply(r, 0x31, &rep);
       }},
  };
  for (const Refused& c : refused) {
    const Bytes p = Hex(c.payload);
    rapi2::Reader r(p);
    EXPECT_FALSE(c.read(r)) << c.what;
  }
}

TEST(RapiFileCallsGolden, RequestReadersTakeTheTypedBytes) {
  {
    const Bytes p = PayloadOf(
        "2a 00 00 00 16 00 00 00 0e 00 00 00 5c 00 61 00 2e 00 74 00 78 00 74 00 00 00"
        " 00 00 00 80 01 00 00 00 03 00 00 00 80 00 00 00 00 00 00 00");
    rapi2::Reader r(p.data() + 4, p.size() - 4);
    rapi2::CreateFile::Request q;
    ASSERT_TRUE(rapi2::CreateFile::ReadRequest(r, &q));
    EXPECT_EQ(q.path, u"\\a.txt");
    EXPECT_EQ(q.access, 0x80000000u);
    EXPECT_EQ(q.disposition, 3u);
    EXPECT_EQ(q.flagsAndAttributes, 0x80u);
  }
  {
    const Bytes p = PayloadOf(
        "1c 00 00 00 42 00 00 00 01 10 00 00 08 00 00 00 01 00 00 00 00 00 d0 01"
        " 00 00 00 00 00 00 00 00");
    rapi2::Reader r(p.data() + 4, p.size() - 4);
    rapi2::SetFileTime::Request q;
    ASSERT_TRUE(rapi2::SetFileTime::ReadRequest(r, &q));
    EXPECT_TRUE(q.given[0]);
    EXPECT_FALSE(q.given[1]);
    EXPECT_EQ(q.times[0], 0x01D0000000000001ull);
  }
  {
    // A time of 4 bytes is no FILETIME.
    const Bytes p = Hex("01 10 00 00 04 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00");
    rapi2::Reader r(p);
    rapi2::SetFileTime::Request q;
    EXPECT_FALSE(rapi2::SetFileTime::ReadRequest(r, &q));
  }
}

}  // namespace
