// Fuzzes the reader of the delete-info file (the device path a broken upload left behind,
// which the next full listing of the file table deletes on the phone): any bytes read as at
// most 1024 characters of the file's UTF-16 text up to its first NUL, never past the bytes;
// and the path, written with the writer and read back from the file, is the same path.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "fuzz/ScratchDir.h"
#include "tables/files/FileStorage.h"

namespace {

using fuzzsupport::Check;

std::filesystem::path g_dir;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The file lives under the application-data folder: every run writes and reads it.
  g_dir = fuzzsupport::MakeScratchDir("delinfo");
  setenv("APPDATA", g_dir.c_str(), 1);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  const std::u16string text = qwb::files::DecodeDeleteInfo(bytes.data(), bytes.size());
  Check(text.size() <= 1024 && text.size() <= size / 2);
  for (size_t i = 0; i < text.size(); ++i)
    Check(text[i] != 0 && text[i] == static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  // Stopped early only at a NUL or at the limit.
  if (text.size() < 1024 && 2 * text.size() + 1 < size)
    Check(bytes[2 * text.size()] == 0 && bytes[2 * text.size() + 1] == 0);

  Check(qwb::files::WriteDeleteInfo(text));
  Check(qwb::files::ReadDeleteInfo() == text);
  return 0;
}
