// The task table over a service answering from the test: the listing flag's rules and a
// reply the decoder cannot read.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/Log.h"
#include "link/DeviceRecord.h"
#include "link/RapiBase.h"
#include "link/ServiceFormats.h"
#include "tables/organizer/DataTableWMTask.h"

namespace qwb {
namespace {

using Handler = std::function<HRESULT(const std::vector<uint8_t>& in, std::vector<uint8_t>* out)>;

// DevCe functions answered by the test; every call is counted by name.
struct Service {
  std::map<std::u16string, Handler> functions;
  std::map<std::u16string, int> calls;

  Service() {
    CRapiBase::SetInvokeForTesting([this](LPCWSTR, LPCWSTR fn, DWORD cbIn, BYTE* in, DWORD* cbOut,
                                          BYTE** out, IRAPIStream**, DWORD) -> HRESULT {
      ++calls[fn];
      auto it = functions.find(fn);
      if (it == functions.end()) return E_NOTIMPL;
      std::vector<uint8_t> reply;
      HRESULT hr = it->second(std::vector<uint8_t>(in, in + cbIn), &reply);
      if (!reply.empty()) {
        *out = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, reply.size()));
        std::memcpy(*out, reply.data(), reply.size());
        *cbOut = static_cast<DWORD>(reply.size());
      }
      return hr;
    });
  }
  ~Service() { CRapiBase::SetInvokeForTesting(nullptr); }

  // A phone holding tasks `ids`, each with the subject "task <id>", except those in `bad`,
  // whose reply runs a name length past its end.
  void Tasks(std::vector<uint32_t> ids, std::vector<uint32_t> bad = {}) {
    functions[u"DevCeList"] = [ids](const std::vector<uint8_t>&, std::vector<uint8_t>* out) {
      *out = devrec::EncodeIdList(ids);
      return S_OK;
    };
    functions[u"DevCeGet"] = [bad](const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
      devrec::KindId req;
      if (!devrec::ReadKindIdRequest(in, &req)) return E_INVALIDARG;
      for (uint32_t b : bad) {
        if (b == req.id) {
          *out = {0, 0, 0, 0, 200, 0, 0, 0, 'S', 'u', 'b', 0};
          return S_OK;
        }
      }
      *out = devrec::EncodeReply(
          req.id, {devrec::Property::String("Subject", "task " + std::to_string(req.id))});
      return S_OK;
    };
  }
};

SUID IdOf(IItem* item) {
  SUID id = SUID_NULL;
  EXPECT_EQ(item->get_SUID(&id), S_OK);
  return id;
}

TEST(TaskTable, ListingFlagRules) {
  Service phone;
  phone.Tasks({7, 9});
  ComPtr<CDataTableWMTask> table(new CDataTableWMTask());
  ComPtr<IItem> item;

  // Never listed: E_FAIL, as after an explicit end: the host ended the listing, so no record
  // comes back until the next begin.
  EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  ASSERT_EQ(table->ListItemsAllBegin(), S_OK);
  ASSERT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(static_cast<int>(IdOf(item.Get())), 7);
  EXPECT_EQ(table->ListItemsEnd(), S_OK);
  EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), E_FAIL);
  EXPECT_FALSE(item);
  EXPECT_EQ(phone.calls[u"DevCeGet"], 1);

  // Run to its end, the listing answers a null item as often as it is asked.
  ASSERT_EQ(table->ListItemsAllBegin(), S_OK);
  for (int want : {7, 9}) {
    ASSERT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(item);
    EXPECT_EQ(static_cast<int>(IdOf(item.Get())), want);
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_FALSE(item);
  }
  EXPECT_EQ(phone.calls[u"DevCeGet"], 3);
}

TEST(TaskTable, AReplyTheDecoderCannotReadFailsTheCallAndIsPassedOver) {
  Service phone;
  phone.Tasks({7, 8, 9}, {8});
  ComPtr<CDataTableWMTask> table(new CDataTableWMTask());
  ComPtr<IItem> item;
  ASSERT_EQ(table->ListItemsAllBegin(), S_OK);
  ASSERT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(static_cast<int>(IdOf(item.Get())), 7);
  // No blank item with only its SUID: the call fails.
  EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()),
            static_cast<HRESULT>(0x8007000Du));
  EXPECT_FALSE(item);
  ASSERT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_TRUE(item);
  EXPECT_EQ(static_cast<int>(IdOf(item.Get())), 9);
  EXPECT_EQ(table->NextItem(item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_FALSE(item);
  // Written back, the same reply does not fail the write: the re-read is not an error.
  phone.functions[u"DevCeAddTask"] = [](const std::vector<uint8_t>&, std::vector<uint8_t>* out) {
    *out = devrec::EncodeNewId(8);
    return S_OK;
  };
  ComPtr<IItem> fresh;
  ASSERT_EQ(table->NewItem(DCADT_TASK, SUID_NULL, SUID_NULL, fresh.ReleaseAndGetAddressOf()),
            S_OK);
  SUID created = SUID_NULL;
  EXPECT_EQ(table->CreateItem(fresh.Get(), &created), S_OK);
  EXPECT_EQ(static_cast<int>(created), 8);
}

}  // namespace
}  // namespace qwb
