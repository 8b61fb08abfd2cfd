#include "host/InfoCommand.h"

#include <cstdlib>
#include <ostream>
#include <pugixml.hpp>

#include "host/FilesCommand.h"
#include "host/HostError.h"
#include "host/PhoneFacts.h"
#include "host/Phones.h"
#include "host/Text.h"

namespace qwbhost {
namespace {

// Children of a property that carry a limit, with their JSON keys.
struct LimitChild {
  const char* element;
  const char* key;
};
constexpr LimitChild kLimitChildren[] = {
    {"MaxSize", "maxSize"},
    {"MaxValue", "maxValue"},
    {"MinValue", "minValue"},
    {"MaxOccur", "maxOccur"},
    {"LimitedValue", "limitedValue"},
    {"MaxCntTelNum", "maxCntTelNum"},
    {"MaxCntOfANR", "maxCntOfANR"},
    {"MaxAnrLength", "maxAnrLength"},
    {"MaxCntOfMaxAnrLength", "maxCntOfMaxAnrLength"},
    {"MaxCntOfEmail", "maxCntOfEmail"},
};

nlohmann::json Number(const char* text) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end) return text;  // not a number: kept as the phone wrote it
  return v;
}

nlohmann::json PropertyJson(pugi::xml_node p) {
  nlohmann::json j = {{"type", p.child_value("DataType")}};
  for (const LimitChild& c : kLimitChildren)
    if (p.child(c.element)) j[c.key] = Number(p.child_value(c.element));
  nlohmann::json values = nlohmann::json::array();
  for (pugi::xml_node v : p.children("ValEnum")) values.push_back(v.child_value());
  if (!values.empty()) j["values"] = values;
  for (pugi::xml_node param : p.children("PropParam"))
    j["params"][param.child_value("ParamName")] = param.child_value("ValEnum");
  return j;
}

std::string Show(const nlohmann::json& v) {
  if (v.is_null()) return "unknown";
  if (v.is_string()) return v.get<std::string>();
  return v.dump();
}

}  // namespace

std::string DevInfDocument(Session& session) {
  ComPtr<IDataTable> table = session.Table(DTID_METADATA);
  BStr value;
  CheckHr("metadata: GetProperty(DevInf)", table->GetProperty(BStr(u"DevInf").Get(), value.Out()));
  return Utf8(value.Str());
}

nlohmann::json DevInfJson(const std::string& document) {
  pugi::xml_document doc;
  pugi::xml_node root;
  if (!doc.load_string(document.c_str()) || !(root = doc.child("DevInf")))
    throw HostError(kExitFailure, "the phone's device information is not a DevInf document");
  nlohmann::json j = {{"manufacturer", root.child_value("Man")},
                      {"model", root.child_value("Mod")},
                      {"stores", nlohmann::json::object()}};
  for (pugi::xml_node store : root.children("DataStore")) {
    nlohmann::json s = {{"contentType", store.child("Rx-Pref").child_value("CTType")},
                        {"capacity", Number(store.child("DSMem").child_value("MaxMem"))},
                        {"properties", nlohmann::json::object()}};
    for (pugi::xml_node p : store.children("Property"))
      s["properties"][p.child_value("PropName")] = PropertyJson(p);
    for (pugi::xml_node p : store.child("CTCap").children("Property"))
      s["properties"][p.child_value("PropName")] = PropertyJson(p);
    j["stores"][store.child_value("SourceRef")] = s;
  }
  return j;
}

int ModelTypeNumber(const std::string& name) {
  const char* names[] = {"olDomestic",    "olInternational", "olMID",
                         "olDomesticSKT", "olDomesticLGT",   "olDomesticKTF",
                         "olInternational_SP"};
  for (int i = 0; i < 7; ++i)
    if (name == names[i]) return i;
  return -1;
}

nlohmann::json SimCapacity(Session& session, const nlohmann::json* devinf, HRESULT* countResult) {
  nlohmann::json sim = {{"used", nullptr},
                        {"total", nullptr},
                        {"maxNameLength", nullptr},
                        {"maxNumberLength", nullptr},
                        {"maxEmailLength", nullptr}};
  {
    ComPtr<IDataTable> table = session.Table(DTID_SIM);
    ULONG used = 0;
    const HRESULT hr = table->GetItemCount(nullptr, 0, DCADT_PHONEBOOK_SIM, &used);
    if (countResult) *countResult = hr;
    if (SUCCEEDED(hr)) sim["used"] = used;
    table->ListItemsEnd();
  }
  nlohmann::json read;
  if (!devinf) {
    try {
      read = DevInfJson(DevInfDocument(session));
      devinf = &read;
    } catch (const HostError&) {
      return sim;  // the use alone
    }
  }
  const nlohmann::json& stores = (*devinf)["stores"];
  if (!stores.contains("SIM_PHONEBOOK")) return sim;
  const nlohmann::json& store = stores["SIM_PHONEBOOK"];
  auto number = [](const nlohmann::json& v) { return v.is_number() ? v : nlohmann::json(); };
  sim["total"] = number(store["capacity"]);
  const nlohmann::json& p = store["properties"];
  for (const auto& [key, prop] : {std::pair{"maxNameLength", "DISPLAY_NAME"},
                                  std::pair{"maxNumberLength", "TEL_NUM"},
                                  std::pair{"maxEmailLength", "EMAIL_ADDR"}})
    if (p.contains(prop)) sim[key] = number(p[prop].value("maxSize", nlohmann::json()));
  return sim;
}

nlohmann::json DeviceInfo(Session& session) {
  const nlohmann::json devinf = DevInfJson(DevInfDocument(session));
  nlohmann::json info;
  const std::string model = devinf["model"];
  // A model the profile does not name is an olInternational phone to the component.
  std::string type = ProfileModelType(model);
  if (type.empty()) type = "olInternational";
  info["model"] = model;
  info["modelType"] = type;
  info["modelTypeNumber"] = ModelTypeNumber(type);
  info["manufacturer"] = devinf["manufacturer"];

  nlohmann::json memory = nlohmann::json::array();
  {
    FileCommands files(session, false);
    for (const MemoryArea& a : files.MemoryAreas())
      memory.push_back({{"kind", a.kind},
                        {"name", a.name.empty() ? nlohmann::json() : nlohmann::json(a.name)},
                        {"size", a.size},
                        {"used", a.used},
                        {"free", a.size > a.used ? a.size - a.used : 0}});
  }
  info["memory"] = memory;

  const nlohmann::json& stores = devinf["stores"];
  nlohmann::json sim = SimCapacity(session, &devinf);
  info["sim"] = sim;
  info["mmsMaxSize"] = nullptr;
  if (stores.contains("MMS") && stores["MMS"]["properties"].contains("SIZE_MAX"))
    info["mmsMaxSize"] = stores["MMS"]["properties"]["SIZE_MAX"].value("maxSize", -1);
  info["limits"] = stores;
  // Battery and mains, processor and main store: each null when the phone does not answer.
  const nlohmann::json facts = PowerSystemStoreJson();
  for (const char* key : {"power", "system", "store"}) info[key] = facts[key];
  return info;
}

void PrintInfo(const nlohmann::json& info, bool json, std::ostream& out) {
  if (json) {
    out << info.dump(2) << '\n';
    return;
  }
  auto line = [&](const std::string& label, const std::string& value) {
    out << label << std::string(label.size() < 18 ? 18 - label.size() : 1, ' ') << value << '\n';
  };
  line("model:", Show(info["model"]));
  line("model type:",
       Show(info["modelType"]) + " (" + std::to_string(info.value("modelTypeNumber", -1)) + ")");
  line("manufacturer:", Show(info["manufacturer"]));
  bool first = true;
  for (const nlohmann::json& a : info["memory"]) {
    std::string label = a["kind"] == "main" ? "main memory" : a["kind"] == "storage-card"
                                                                  ? "storage card"
                                                                  : "card " + Show(a["name"]);
    line(first ? "memory:" : "",
         label + ": " + HumanBytes(a["size"]) + ", " + HumanBytes(a["free"]) + " free");
    first = false;
  }
  const nlohmann::json& sim = info["sim"];
  line("SIM:", Show(sim["used"]) + " of " + Show(sim["total"]) + " positions used; names " +
                   Show(sim["maxNameLength"]) + ", numbers " + Show(sim["maxNumberLength"]) +
                   ", e-mail " + Show(sim["maxEmailLength"]));
  line("MMS max size:", Show(info["mmsMaxSize"]) + " bytes");
  for (const auto& [label, value] : PowerSystemStoreLines(info)) line(label, value);
  out << "limits (capacity -1: no limit):\n";
  for (const auto& [store, s] : info["limits"].items()) {
    out << "  " << store << " (" << Show(s["contentType"]) << "): capacity "
        << Show(s["capacity"]) << '\n';
    for (const auto& [name, p] : s["properties"].items()) {
      std::string limits;
      for (const LimitChild& c : kLimitChildren)
        if (p.contains(c.key)) limits.append(" ").append(c.element).append(" ").append(Show(p[c.key]));
      if (p.contains("values")) {
        limits += " values";
        for (const auto& v : p["values"]) limits.append(" ").append(Show(v));
      }
      out << "    " << name << " " << Show(p["type"]) << limits << '\n';
    }
  }
}

}  // namespace qwbhost
