// A private folder for a fuzz target's files, in memory where the machine has a tmpfs (a
// store's syncs to disk would otherwise take most of each run).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzsupport {

inline std::filesystem::path MakeScratchDir(const std::string& tag) {
  for (const char* root : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(root) + "/qwb-fuzz-" + tag + "-XXXXXX";
    if (mkdtemp(pattern.data())) return pattern;
  }
  std::abort();
}

}  // namespace fuzzsupport
