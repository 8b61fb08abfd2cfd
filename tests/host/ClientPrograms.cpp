#include "tests/host/ClientPrograms.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/Component.h"

extern char** environ;

namespace qwbtest {
namespace fs = std::filesystem;

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

ClientSandbox::ClientSandbox(const std::string& name) {
  root_ = fs::path(testing::TempDir()) / ("clients-" + name + "-" + std::to_string(getpid()));
  fs::remove_all(root_);
  for (const char* sub : {"home", "config", "cache", "data"}) fs::create_directories(root_ / sub);
}

ClientSandbox::~ClientSandbox() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

fs::path ClientSandbox::Write(const std::string& relative, const std::string& text) const {
  fs::path p = root_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
  return p;
}

namespace {
std::string Slurp(const fs::path& p) {
  std::ostringstream ss;
  ss << std::ifstream(p, std::ios::binary).rdbuf();
  return ss.str();
}
}  // namespace

ProgramRun ClientSandbox::Run(const std::vector<std::string>& argv,
                              const std::map<std::string, std::string>& extra) const {
  ProgramRun r;
  std::string program = argv.empty() ? "" : FindProgram(argv[0]);
  if (argv[0].find('/') != std::string::npos) program = argv[0];
  if (program.empty()) {
    r.err = argv.empty() ? "no program" : argv[0] + ": not found";
    return r;
  }
  std::map<std::string, std::string> env = {
      {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
      {"HOME", (root_ / "home").string()},
      {"XDG_CONFIG_HOME", (root_ / "config").string()},
      {"XDG_CACHE_HOME", (root_ / "cache").string()},
      {"XDG_DATA_HOME", (root_ / "data").string()},
      {"QWBDCAWM_REGISTRY", (root_ / "registry.reg").string()},
      {"TZ", "UTC"},
      {"LANG", "C.UTF-8"},
      {"LC_ALL", "C.UTF-8"},
  };
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* v = std::getenv(keep)) env[keep] = v;
  for (const auto& [k, v] : extra) env[k] = v;
  std::vector<std::string> envText;
  for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argCopy = argv;
  for (auto& a : argCopy) args.push_back(a.data());
  args.push_back(nullptr);

  fs::path out = root_ / "run.out", err = root_ / "run.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    r.err = program + ": " + std::strerror(rc);
    return r;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  return r;
}

ProgramRun ClientSandbox::Qwbdcawm(const std::string& device,
                                   const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {qwbhost::ExecutableFolder() + "/qwbdcawm", "--device", device};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv);
}

int ClientProgramsMain(int argc, char** argv) {
  std::vector<char*> rest;
  std::vector<std::string> missing;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--needs") == 0 && i + 1 < argc) {
      if (FindProgram(argv[i + 1]).empty()) missing.push_back(argv[i + 1]);
      ++i;
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!missing.empty()) {
    const char* require = std::getenv("QWB_REQUIRE_CLIENT_PROGRAMS");
    bool required = require && std::strcmp(require, "1") == 0;
    for (const std::string& m : missing)
      std::printf("%s: %s is not installed (scripts/install-deps installs it)\n",
                  required ? "FAILED" : "skipped", m.c_str());
    return required ? 1 : 77;
  }
  int n = static_cast<int>(rest.size());
  rest.push_back(nullptr);
  testing::InitGoogleTest(&n, rest.data());
  return RUN_ALL_TESTS();
}

}  // namespace qwbtest
