// Small helpers shared by the link tests: little-endian words, byte strings, temp files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace linktest {

inline std::vector<uint8_t> U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// `s` followed by NULs up to `n` bytes (default: none): a name or text as it sits in a
// record, pad included.
inline std::vector<uint8_t> Z(std::string_view s, size_t n = 0) {
  std::vector<uint8_t> v(s.begin(), s.end());
  if (n > v.size()) v.resize(n, 0);
  return v;
}

// Writes `content` to a fresh file under /tmp and returns its path; the caller removes it.
inline std::string TempFile(const std::string& content) {
  char name[] = "/tmp/linktest_XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  FILE* f = fdopen(fd, "w");
  std::fputs(content.c_str(), f);
  std::fclose(f);
  return name;
}

}  // namespace linktest
