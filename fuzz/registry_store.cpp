// The registry store's file reader (the .reg text a user or another process may have left in
// the store file). Beyond "no crash": what the store writes after reading a file reads back
// to the same store, so writing that again gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/com/RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string once = wincompat::detail::RegistryTextOf(text);
  const std::string twice = wincompat::detail::RegistryTextOf(once);
  if (once != twice) std::abort();
  return 0;
}
