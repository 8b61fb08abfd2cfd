// Running the programs people open our exports with (todoman, khal, khard, vdirsyncer) and
// the qwbdcawm binary, in a sandbox of their own: a fresh HOME with its config, cache and data
// folders, UTC, a UTF-8 locale. A test binary built with ClientProgramsMain() takes
// `--needs PROGRAM` arguments and exits 77 (CTest's skip code) when one is not installed,
// unless QWB_REQUIRE_CLIENT_PROGRAMS=1 (CI) turns that into a failure.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qwbtest {

struct ProgramRun {
  int exit = -1;
  std::string out, err;
};

// The program's path on PATH, or "".
std::string FindProgram(const std::string& name);

class ClientSandbox {
 public:
  explicit ClientSandbox(const std::string& name);
  ~ClientSandbox();
  ClientSandbox(const ClientSandbox&) = delete;
  ClientSandbox& operator=(const ClientSandbox&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // Writes `text` to root()/relative (folders created); returns the full path.
  std::filesystem::path Write(const std::string& relative, const std::string& text) const;
  // Runs argv[0] (looked up on PATH) with the sandbox's environment plus `env`, stdin empty.
  ProgramRun Run(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env = {}) const;
  // Runs the qwbdcawm binary of this build against the phone at `device`.
  ProgramRun Qwbdcawm(const std::string& device, const std::vector<std::string>& args) const;

 private:
  std::filesystem::path root_;
};

// main() of a client program test binary.
int ClientProgramsMain(int argc, char** argv);

}  // namespace qwbtest
