// The qwbdcawm binary run by the tests against a phone they serve: its output, error text and
// exit status, and the files it writes read back.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/Component.h"
#include "tests/support/EmulatedPhone.h"

namespace qwbtest {

struct CliRun {
  int exit = -1;
  std::string out, err;
};

// A shell word: single-quoted, quotes inside escaped.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ostringstream ss;
  ss << std::ifstream(p, std::ios::binary).rdbuf();
  return ss.str();
}

// The environment the binary runs in: the phone's registry and a cache of its own, and no
// device or debug setting of the user's.
inline void PrepareCliEnvironment(const qwbhost::EmulatedPhone& phone) {
  unsetenv("QWBDCAWM_DEVICE");
  unsetenv("QWBDCAWM_DEBUG");
  setenv("QWBDCAWM_REGISTRY", (phone.folder() / "registry.reg").c_str(), 1);
  setenv("XDG_CACHE_HOME", (phone.folder() / "cache").c_str(), 1);
}

// Runs qwbdcawm with `args` (already quoted) and no input; with `withDevice` it is pointed at
// the phone; `env` is put before the command ("NAME=value ...").
inline CliRun RunQwbdcawm(const qwbhost::EmulatedPhone& phone, const std::string& args,
                          bool withDevice = true, const std::string& env = "") {
  const std::filesystem::path errFile = phone.folder() / "stderr.txt";
  const std::string cmd = (env.empty() ? "" : env + " ") +
                          Quote(qwbhost::ExecutableFolder() + "/qwbdcawm") +
                          (withDevice ? " --device " + phone.address() : std::string()) + " " +
                          args + " 2>" + Quote(errFile.string()) + " </dev/null";
  CliRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadFile(errFile);
  return r;
}

// The base of a suite of CLI tests: the suite's phone, served in this process, and the binary
// run against it. Suite: the deriving fixture (each suite has a phone of its own).
template <class Suite>
class CliSuite : public ::testing::Test {
 protected:
  static void StartPhone(const std::string& preset, const std::string& model) {
    phone_ = std::make_unique<qwbhost::EmulatedPhone>(preset, model);
    PrepareCliEnvironment(*phone_);
  }
  static void TearDownTestSuite() { phone_.reset(); }
  static wmemu::Emulator& Emu() { return phone_->emulator(); }
  static CliRun Qwb(const std::string& args, bool withDevice = true, const std::string& env = "") {
    return RunQwbdcawm(*phone_, args, withDevice, env);
  }

  static inline std::unique_ptr<qwbhost::EmulatedPhone> phone_;
};

}  // namespace qwbtest
