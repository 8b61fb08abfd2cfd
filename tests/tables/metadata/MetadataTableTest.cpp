// The metadata table over a service answering from the test (no phone for the registry): the
// four limit maps' keys and value types, the SIM values from the SIM information call or its
// fallbacks, the property names it answers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "link/DeviceRecord.h"
#include "link/RapiBase.h"
#include "tables/metadata/DataTableWMMetadata.h"

namespace qwb {
namespace {

struct SimService {
  HRESULT hr = S_OK;
  std::vector<devrec::Property> props;
  int calls = 0;
  SimService() {
    CRapiBase::SetInvokeForTesting([this](LPCWSTR, LPCWSTR fn, DWORD, BYTE*, DWORD* cbOut,
                                          BYTE** out, IRAPIStream**, DWORD) -> HRESULT {
      if (std::u16string_view(fn) != u"DevCePhonebookSIMInfo") return E_NOTIMPL;
      ++calls;
      if (hr != S_OK) return hr;
      std::vector<uint8_t> reply = devrec::EncodeReply(6, props);
      *out = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, reply.size()));
      std::memcpy(*out, reply.data(), reply.size());
      *cbOut = static_cast<DWORD>(reply.size());
      return S_OK;
    });
  }
  ~SimService() { CRapiBase::SetInvokeForTesting(nullptr); }
};

// key -> (VARTYPE, value)
using Expected = std::map<std::u16string, std::pair<VARTYPE, LONG>>;

void ExpectMap(const FieldMap& map, const Expected& want) {
  EXPECT_EQ(map.size(), want.size());
  for (const auto& [key, v] : want) {
    const Variant* got = FindField(map, key);
    ASSERT_NE(got, nullptr) << std::string(key.begin(), key.end());
    EXPECT_EQ(got->vt(), v.first) << std::string(key.begin(), key.end());
    EXPECT_EQ(got->Get().lVal, v.second) << std::string(key.begin(), key.end());
  }
}

constexpr VARTYPE kInt = VT_INT, kI4 = VT_I4;

TEST(MetadataTable, LimitMapsKeysTypesAndSimValues) {
  SimService sim;
  sim.props = {devrec::Property::Integer("nUsed", 17), devrec::Property::Integer("nTotal", 200),
               devrec::Property::Integer("MaxPBEAddressLength", 20),
               devrec::Property::Integer("MaxPBETextLength", 12)};
  ComPtr<CDataTableWMMetadata> table(new CDataTableWMMetadata());
  BStr value;
  ASSERT_EQ(table->GetProperty(BStr(u"PRIVACY_LOCK").Get(), value.Out()), S_OK);
  EXPECT_EQ(value.Str(), u"0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  EXPECT_EQ(sim.calls, 1);

  const std::vector<FieldMap>& maps = table->LimitMaps();
  ASSERT_EQ(maps.size(), 4u);
  ExpectMap(maps[0], {{u"MAX_TEL_LENGTH", {kInt, 255}},
                      {u"MAX_NAME_LENGTH", {kInt, 255}},
                      {u"MAX_URL_LENGTH", {kInt, 255}},
                      {u"MAX_EMAIL_LENGTH", {kInt, 255}},
                      {u"MAX_NOTE_LENGTH", {kInt, -1}},
                      {u"TOTAL_COUNT", {kInt, -1}}});
  ExpectMap(maps[1], {{u"USED_COUNT", {kInt, 0}},
                      {u"TOTAL_COUNT", {kInt, -1}},
                      {u"MAX_SUBJECT", {kInt, 255}},
                      {u"MAX_DETAIL", {kInt, 255}},
                      {u"MAX_LOCATION", {kInt, 255}},
                      {u"TYPE", {kI4, 0}}});
  ExpectMap(maps[2], {{u"USED_COUNT", {kInt, 0}},
                      {u"TOTAL_COUNT", {kInt, -1}},
                      {u"MAX_SUBJECT", {kInt, 255}},
                      {u"MAX_DETAIL", {kInt, 255}},
                      {u"MAX_LOCATION", {kInt, 255}}});
  ExpectMap(maps[3], {{u"MAX_TEL_LENGTH", {kInt, 20}},
                      {u"MAX_NAME_LENGTH", {kInt, 12}},
                      {u"USED_COUNT", {kInt, 17}},
                      {u"TOTAL_COUNT", {kInt, 200}},
                      {u"ALLOWPLUSSIGN", {kI4, 0}}});
  // No phone behind the registry: the fallbacks.
  EXPECT_EQ(table->Manufacturer(), "Tolvane");
  EXPECT_EQ(table->ModelName(), "Tolvane-WM");
  EXPECT_EQ(table->MMSMaxSize(), 307200u);

  // Every call gathers afresh, whatever the name: a failing SIM call gives the fallbacks, and
  // an unknown name is refused after the refresh.
  sim.hr = static_cast<HRESULT>(0x80070490u);
  BSTR untouched = reinterpret_cast<BSTR>(0x77);
  EXPECT_EQ(table->GetProperty(BStr(u"devinf").Get(), &untouched), E_FAIL);
  EXPECT_EQ(untouched, reinterpret_cast<BSTR>(0x77));
  EXPECT_EQ(sim.calls, 2);
  ASSERT_EQ(table->LimitMaps().size(), 4u);
  ExpectMap(table->LimitMaps()[3], {{u"MAX_TEL_LENGTH", {kInt, 255}},
                                    {u"MAX_NAME_LENGTH", {kInt, 255}},
                                    {u"USED_COUNT", {kInt, 0}},
                                    {u"TOTAL_COUNT", {kInt, 1000}},
                                    {u"ALLOWPLUSSIGN", {kI4, 0}}});
  // The other methods are not the metadata table's.
  EXPECT_EQ(table->ListItemsAllBegin(), E_NOTIMPL);
}

TEST(MetadataTable, ModelNamesAreCutAt99Bytes) {
  const struct {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"Aster W1", "Aster W1"},
      {std::u16string(99, u'Q'), std::string(99, 'Q')},
      {std::u16string(100, u'Q'), std::string(99, 'Q')},
      // A two-byte character across the 99th byte is left out whole.
      {std::u16string(98, u'Q') + u"\u00e9", std::string(98, 'Q')},
      {u"\ud55c\uc6b8 HD-100", "\xed\x95\x9c\xec\x9a\xb8 HD-100"},
  };
  for (const auto& c : cases) EXPECT_EQ(CDataTableWMMetadata::NarrowModelName(c.in), c.out);
}

}  // namespace
}  // namespace qwb
