#include "host/Phones.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iomanip>
#include <iostream>
#include <pugixml.hpp>

#include "host/Component.h"
#include "host/HostError.h"
#include "platform/rapi/ManagerClient.h"

namespace qwbhost {
namespace {

constexpr int kManagerTimeoutMs = 5000;

std::string Fold(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Str(const nlohmann::json& j, const char* key) {
  return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
}

}  // namespace

std::optional<nlohmann::json> ConnectedPhones(std::string* why) {
  const std::string path = connectproto::ManagerSocketPath();
  connectproto::Reply r = connectproto::Ask(path, R"({"request":"devices"})", kManagerTimeoutMs);
  if (!r.ok) {
    *why = r.message;
    return std::nullopt;
  }
  nlohmann::json j = nlohmann::json::parse(r.line, nullptr, false);
  if (!j.is_object() || !j.contains("devices") || !j["devices"].is_array()) {
    *why = "the connection manager at " + path + " answered something unreadable";
    return std::nullopt;
  }
  return j["devices"];
}

std::string ProfileModelType(const std::string& model) {
  pugi::xml_document doc;
  if (!doc.load_file(ModelProfilePath().c_str())) return "";
  for (pugi::xml_node m : doc.child("WMModelProfile").child("ModelLists").children("Model")) {
    if (Fold(m.child_value("ModelName")) == Fold(model)) return m.child_value("ModelTypeName");
  }
  return "";
}

void ListPhones(bool json, std::ostream& out) {
  std::string why;
  std::optional<nlohmann::json> phones = ConnectedPhones(&why);
  if (!phones) throw HostError(kExitFailure, why + " (is qwbdcawm-connectd running?)");
  for (auto& p : *phones) p["modelType"] = ProfileModelType(Str(p, "model"));
  if (json) {
    out << phones->dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return;
  }
  if (phones->empty()) {
    std::fprintf(stderr, "no phone is connected\n");
    return;
  }
  out << std::left << std::setw(20) << "NAME" << std::setw(16) << "MODEL" << std::setw(18)
      << "MODEL TYPE" << std::setw(6) << "OS" << std::setw(10) << "CPU" << std::setw(12)
      << "PARTNER" << "LOCKED\n";
  for (const auto& p : *phones) {
    std::string os = std::to_string(p.value("osMajor", 0u)) + "." +
                     std::to_string(p.value("osMinor", 0u));
    char partner[16];
    std::snprintf(partner, sizeof partner, "0x%08X", p.value("partnerId", 0u));
    std::string type = Str(p, "modelType");
    std::string lock = Str(p, "lock");
    std::string locked = !p.value("locked", false) ? "no"
                         : lock == "on-device"      ? "yes (unlock on the phone)"
                                                    : "yes (qwbdcawm unlock)";
    out << std::left << std::setw(20) << Str(p, "name") << std::setw(16) << Str(p, "model")
        << std::setw(18) << (type.empty() ? "-" : type) << std::setw(6) << os << std::setw(10)
        << p.value("processorType", 0u) << std::setw(12) << partner << locked << '\n';
  }
}

std::optional<std::string> PhoneName(const std::string& address) {
  if (address.rfind("phone:", 0) != 0) return std::nullopt;
  return address.substr(6);
}

std::string ReadPassword(const std::string& prompt) {
  std::string line;
  if (::isatty(0)) {
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    termios saved{};
    ::tcgetattr(0, &saved);
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(0, TCSAFLUSH, &quiet);
    std::getline(std::cin, line);
    ::tcsetattr(0, TCSAFLUSH, &saved);
  } else if (!std::getline(std::cin, line)) {
    ThrowUsage("unlock reads the password from standard input, which was empty");
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void UnlockPhone(const std::string& address, const std::string& password) {
  std::string name = PhoneName(address).value_or("");
  nlohmann::json req = {{"request", "unlock"}, {"device", name}, {"password", password}};
  connectproto::Reply r = connectproto::Ask(
      connectproto::ManagerSocketPath(),
      req.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), 20000);
  if (r.ok) return;
  if (r.error == connectproto::kErrorSeveral) ThrowUsage(r.message + ": use --device phone:NAME");
  throw HostError(kExitFailure, r.message);
}

std::optional<std::string> OnlyConnectedPhone(std::string* why) {
  std::optional<nlohmann::json> phones = ConnectedPhones(why);
  if (!phones) return std::nullopt;
  if (phones->empty()) {
    *why = "no phone is connected to the connection manager";
    return std::nullopt;
  }
  if (phones->size() > 1) {
    std::string names;
    for (const auto& p : *phones) names += (names.empty() ? "" : ", ") + Str(p, "name");
    ThrowUsage(std::to_string(phones->size()) + " phones are connected (" + names +
               "): choose one with --device phone:NAME");
  }
  std::string name = Str((*phones)[0], "name");
  std::fprintf(stderr, "qwbdcawm: using the connected phone \"%s\" (phone:%s)\n", name.c_str(),
               name.c_str());
  return "phone:" + name;
}

}  // namespace qwbhost
