// qwbdcawm-emu: creates phone images, serves them to RAPI2 clients and injects faults into a
// running emulator through its control socket.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "emulator/Emulator.h"
#include "emulator/Text.h"
#include "platform/util/Address.h"

namespace {

int Connect(const std::string& address) {
  addr::Address parsed;
  if (!addr::Parse(address, &parsed) || parsed.kind == addr::Address::kPhone)
    throw std::runtime_error("address must be tcp:HOST:PORT or unix:PATH: " + address);
  std::string error;
  int fd = addr::ConnectStream(parsed, 5000, &error);
  if (fd < 0) throw std::runtime_error("cannot connect to " + address + ": " + error);
  return fd;
}

// Sends one control line and prints the answer; false when the emulator refused it.
bool SendControl(const std::string& address, const nlohmann::json& cmd) {
  int fd = Connect(address);
  std::string line = cmd.dump() + "\n";
  if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    ::close(fd);
    throw std::runtime_error("cannot send to " + address);
  }
  std::string reply;
  char c;
  while (::recv(fd, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
  ::close(fd);
  if (reply.empty()) throw std::runtime_error("no answer from " + address);
  auto j = nlohmann::json::parse(reply);
  if (!j.value("ok", false)) {
    std::cerr << "qwbdcawm-emu: " << j.value("error", std::string("refused")) << "\n";
    return false;
  }
  return true;
}

int Serve(const std::string& dir, const std::string& listen, const std::string& control,
          wmemu::DialOptions dial, const wmemu::ServeLimits& limits) {
  // Signals are taken by sigwait below; the serving threads must not see them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  auto emu = wmemu::Emulator::Open(dir);
  emu->SetLimits(limits);
  if (!listen.empty()) std::cout << emu->Listen(listen) << std::endl;
  if (!control.empty()) std::cerr << "control: " << emu->ListenControl(control) << std::endl;
  if (!dial.address.empty()) {
    std::string trigger;
    try {
      trigger = emu->Dial(dial);
    } catch (const std::exception& e) {
      // Without its trigger port the phone still dials at start and on replug.
      std::cerr << "qwbdcawm-emu: " << e.what() << "; dialling without a trigger port\n";
      dial.trigger.clear();
      emu->Dial(dial);
    }
    std::cerr << "dialling " << dial.address << " as \"" << emu->deviceName() << "\""
              << (trigger.empty() ? std::string() : "; triggers on udp " + trigger) << std::endl;
  }
  int sig = 0;
  sigwait(&set, &sig);
  emu->Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Windows Mobile phone emulator: a RAPI2 server for phone images",
               "qwbdcawm-emu"};
  app.set_version_flag("--version", std::string("qwbdcawm-emu ") + QWB_VERSION);
  app.require_subcommand(1);

  std::string dir, preset = "demo", model = "Aster W1", deviceName, listen, control;
  auto* init = app.add_subcommand("init", "Create a phone image in DIR");
  init->add_option("DIR", dir, "Image folder (created if missing)")->required();
  init->add_option("--preset", preset, "empty or demo")
      ->check(CLI::IsMember({"empty", "demo"}))
      ->capture_default_str();
  init->add_option("--model", model, "Model name (HKLM\\Ident OrigName)")->capture_default_str();
  init->add_option("--name", deviceName, "Device name (HKLM\\Ident Name; default MyPhone)");

  auto* serve = app.add_subcommand("serve", "Serve the image in DIR until SIGINT/SIGTERM");
  serve->add_option("DIR", dir, "Image folder")->required()->check(CLI::ExistingDirectory);
  auto* listenOpt = serve->add_option("--listen", listen, "tcp:127.0.0.1:PORT or unix:PATH");
  serve->add_option("--control", control, "Control socket for `fault`: unix:PATH");
  wmemu::DialOptions dial;
  dial.trigger = "0.0.0.0:5679";
  auto* dialOpt = serve->add_option(
      "--dial", dial.address, "Dial a connection manager at ADDR:PORT, as a phone on USB does");
  listenOpt->excludes(dialOpt);
  serve->add_option("--password", dial.password, "WM5 lock: the password the PC must give")
      ->needs(dialOpt);
  auto* onDevice = serve->add_flag("--unlock-on-device", dial.unlockOnDevice,
                                   "WM6 lock: unlocked on the phone's screen after a delay, or "
                                   "by `fault unlock`")
                       ->needs(dialOpt);
  onDevice->excludes("--password");
  serve->add_option("--unlock-delay-ms", dial.unlockDelayMs,
                    "With --unlock-on-device: when the user unlocks (-1: only by `fault unlock`)")
      ->capture_default_str();
  serve->add_option("--trigger", dial.trigger, "UDP ADDR:PORT where the PC's wake-up arrives")
      ->capture_default_str();

  wmemu::ServeLimits limits;
  serve->add_option("--max-connections", limits.maxConnections,
                    "RAPI2 connections served at once; more are closed as they come")
      ->check(CLI::Range(1, 4096))
      ->capture_default_str();
  serve->add_option("--max-frame", limits.maxRequestFrame,
                    "Largest request frame in bytes; a larger one closes its connection")
      ->check(CLI::Range(uint32_t{64}, uint32_t{64u << 20}))
      ->capture_default_str();
  serve->add_option("--io-timeout-ms", limits.ioTimeoutMs,
                    "A request begun must arrive, and a reply be taken, within this time, "
                    "or the connection closes (idle connections stay)")
      ->check(CLI::Range(100, 3600000))
      ->capture_default_str();
  serve->footer(
      "Limits: at most --max-connections connections of --max-frame bytes each are buffered "
      "at once, so memory stays bounded whatever clients send.");

  auto* fault = app.add_subcommand("fault", "Inject a fault into a serving emulator");
  fault->add_option("--control", control, "The emulator's control socket")->required();
  fault->require_subcommand(1);
  std::string name, hresult;
  int count = 1, onCall = 0, ms = 0;
  long long error = -1, afterBytes = -1;
  auto* fail =
      fault->add_subcommand("fail", "Fail the next calls of a RAPI call or DevCe function");
  fail->add_option("--name", name, "Call name, e.g. CeReadFile or DevCeGet (empty: any)");
  fail->add_option("--count", count, "How many calls fail")->capture_default_str();
  auto* errOpt = fail->add_option("--error", error, "Device error number, e.g. 5");
  auto* hrOpt = fail->add_option("--hresult", hresult, "HRESULT, e.g. 0x80004005");
  errOpt->excludes(hrOpt);
  auto* drop = fault->add_subcommand("drop", "Drop a connection");
  auto* abOpt = drop->add_option("--after-bytes", afterBytes, "after K more bytes written");
  auto* ocOpt = drop->add_option("--on-call", onCall, "on the Nth call from now");
  int64_t afterFileBytes = -1;
  auto* afOpt = drop->add_option("--after-file-bytes", afterFileBytes,
                                 "after K more bytes of file contents read or written");
  abOpt->excludes(ocOpt);
  afOpt->excludes(abOpt)->excludes(ocOpt);
  drop->add_option("--name", name, "Only count calls of this name (with --on-call)");
  long long cutBytes = -1;
  auto* cut = fault->add_subcommand("cut", "Cut the next reply to a call after K bytes");
  cut->add_option("--name", name, "Call name: RAPI call, DevCe function or stream command")
      ->required();
  cut->add_option("--after-bytes", cutBytes, "K: the bytes of the reply that go out")
      ->required()
      ->check(CLI::NonNegativeNumber);
  fault->add_subcommand("unplug", "Close every connection and refuse new ones");
  fault->add_subcommand("replug", "Accept connections again");
  auto* delay = fault->add_subcommand("delay", "Delay replies");
  delay->add_option("--ms", ms, "Milliseconds (0 removes the delay)")->required();
  delay->add_option("--name", name, "Only replies of this call");
  fault->add_subcommand("clear", "Remove every fault");
  fault->add_subcommand("unlock", "The user unlocks the dialling phone on its screen");
  auto* controlCmd =
      fault->add_subcommand("control", "Fault the control channel of a dialling phone");
  std::string action;
  controlCmd->add_option("ACTION", action, "drop, stall or resume")
      ->required()
      ->check(CLI::IsMember({"drop", "stall", "resume"}));
  auto* refuse = fault->add_subcommand("refuse", "Ignore the next session requests of the PC");
  refuse->add_option("--count", count, "How many")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;  // help and version exit 0, bad usage 2
  }
  try {
    if (*init) {
      wmemu::Emulator::CreateImage(dir, preset, model);
      if (!deviceName.empty()) {
        auto emu = wmemu::Emulator::Open(dir);
        emu->registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"Name",
                                  wmemu::Utf16(deviceName));
      }
      std::cout << "created " << preset << " image of \"" << model << "\" in " << dir << "\n";
      return 0;
    }
    if (*serve) {
      if (listen.empty() && dial.address.empty())
        throw std::runtime_error("serve needs --listen or --dial");
      return Serve(dir, listen, control, dial, limits);
    }
    nlohmann::json cmd;
    if (*fail) {
      if (error < 0 && hresult.empty()) throw std::runtime_error("fail needs --error or --hresult");
      cmd = {{"cmd", "fail"}, {"name", name}, {"count", count}};
      if (!hresult.empty())
        cmd["hresult"] = hresult;
      else
        cmd["error"] = error;
    } else if (*drop) {
      if (afterFileBytes >= 0)
        cmd = {{"cmd", "drop"}, {"afterFileBytes", afterFileBytes}};
      else if (afterBytes >= 0)
        cmd = {{"cmd", "drop"}, {"afterBytes", afterBytes}};
      else if (onCall > 0)
        cmd = {{"cmd", "drop"}, {"onCall", onCall}, {"name", name}};
      else
        throw std::runtime_error("drop needs --after-bytes, --after-file-bytes or --on-call");
    } else if (*cut) {
      cmd = {{"cmd", "cut"}, {"name", name}, {"afterBytes", cutBytes}};
    } else if (*controlCmd) {
      cmd = {{"cmd", "control"}, {"action", action}};
    } else if (*refuse) {
      cmd = {{"cmd", "refuse"}, {"count", count}};
    } else if (*delay) {
      cmd = {{"cmd", "delay"}, {"ms", ms}, {"name", name}};
    } else {
      cmd = {{"cmd", fault->get_subcommands().front()->get_name()}};
    }
    return SendControl(control, cmd) ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "qwbdcawm-emu: " << e.what() << "\n";
    return 1;
  }
}
