// The emulator's control socket: any process on the machine may send it lines of JSON (the
// fault commands of `qwbdcawm-emu fault`). Each line gets one answer, a JSON object whose
// "ok" is true or false (with an "error" text when false), whatever the line holds; nothing
// is thrown out of the command, which would end the emulator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "emulator/Emulator.h"
#include "fuzz/Check.h"
#include "fuzz/ScratchEmulator.h"

namespace {

using fuzzsupport::Check;

wmemu::Emulator& Phone() { return fuzzsupport::ScratchEmulator::Get("emuctl").emulator(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Phone();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One line as the control socket hands it over: the bytes up to the first newline.
  std::string line(reinterpret_cast<const char*>(data), size);
  line.resize(std::min(line.find('\n'), line.size()));
  std::string reply;
  try {
    reply = Phone().Control(line);
  } catch (...) {
    std::abort();  // would end the emulator's control thread, and the emulator
  }
  const nlohmann::json j = nlohmann::json::parse(reply, nullptr, false);
  Check(j.is_object() && j.contains("ok") && j["ok"].is_boolean());
  if (!j["ok"].get<bool>()) Check(j.contains("error") && j["error"].is_string());
  // What the command set stays for the next input only as long as this one.
  Phone().faults().Clear();
  return 0;
}
