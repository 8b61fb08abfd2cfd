#!/bin/sh
# Builds the control channel fuzzer with clang and libFuzzer and runs it for a short while.
# Usage: run_fuzz.sh SOURCE_DIR WORK_DIR [libFuzzer options...]
# Exits 77 (skipped) when clang or the fuzzer runtime is not installed.
set -u
src=$1
work=$2
shift 2
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cxx" ]; then
  echo "clang++ not found: skipped"
  exit 77
fi
mkdir -p "$work/corpus"
# A fuzzer that cannot even be linked means the runtime is missing.
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  > "$work/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer "$work/probe.cpp" -o "$work/probe" 2> "$work/probe.log"; then
  echo "libFuzzer runtime not available: skipped"
  cat "$work/probe.log"
  exit 77
fi
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$src" "$src/tests/connectd/fuzz_controlchannel.cpp" "$src/link/ControlChannel.cpp" \
  -o "$work/fuzz_controlchannel" || exit 1
# The fuzzer is built without our ASAN_OPTIONS' assumptions about the test binaries.
ASAN_OPTIONS=detect_leaks=1 "$work/fuzz_controlchannel" "$@" "$work/corpus"
