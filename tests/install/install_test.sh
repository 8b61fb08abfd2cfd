#!/usr/bin/env bash
# The project as a host author meets it: `cmake --install` into a fresh prefix, the example
# host built against that prefix alone (through the CMake package, through pkg-config in
# CMake, through pkg-config on a plain compiler line) and run against the installed emulator.
#   install_test.sh BUILD_DIR SOURCE_DIR WORK_DIR CXX "SANITIZER FLAGS"
set -u
build=$1 source=$2 work=$3 cxx=$4 sanitize=${5:-}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
unset LD_LIBRARY_PATH QWBDCAWM_DEVICE
export QWBDCAWM_DEBUG=

rm -rf "$work" && mkdir -p "$work"
prefix=$work/prefix
emu_pid=
cleanup() { [[ -n $emu_pid ]] && kill "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null; }
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; exit 1; }

# Everything a host or a user needs is there.
for f in bin/qwbdcawm bin/qwbdcawm-emu bin/regsvr \
         lib/libwincompat.so.1 lib/librapi.so.1 lib/libQWBDCAWM.so.1 lib/libErrorReport.so.1 \
         lib/libConvLunar.so lib/libwincompat.so lib/librapi.so \
         include/qwbdcawm/qwbdcawm.h include/wincompat/com.h include/wincompat/rapi.h \
         include/errorreport/ErrorReport.h share/qwbdcawm/WMModelProfile.xml \
         share/bash-completion/completions/qwbdcawm share/man/man1/qwbdcawm.1.gz \
         share/man/man1/qwbdcawm-emu.1.gz share/bash-completion/completions/qwbdcawm-emu \
         lib/pkgconfig/qwbdcawm.pc lib/pkgconfig/wincompat.pc lib/pkgconfig/rapi.pc \
         lib/cmake/QWBDCAWM/QWBDCAWMConfig.cmake lib/cmake/QWBDCAWM/QWBDCAWMConfigVersion.cmake; do
  [[ -e $prefix/$f ]] || fail "not installed: $f"
done
[[ -e $prefix/include/wincompat/testhooks.h ]] && fail "test hooks installed"
# SONAMEs, relative run paths, nothing that leads back into the build folder.
for lib in wincompat rapi QWBDCAWM ErrorReport ConvLunar; do
  soname=$(readelf -d "$prefix/lib/lib$lib.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [[ $soname == "lib$lib.so.1" ]] || fail "lib$lib SONAME is '$soname'"
done
for tool in qwbdcawm qwbdcawm-emu regsvr; do
  runpath=$(readelf -d "$prefix/bin/$tool" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [[ $runpath == '$ORIGIN/../lib' ]] || fail "$tool RUNPATH is '$runpath'"
done
while read -r elf; do
  readelf -d "$elf" | grep -E 'R(UN)?PATH' | grep -qF "$build" && fail "$elf has a run path into $build"
done < <(find "$prefix" -type f \( -name '*.so*' -o -path '*/bin/*' \))
leaks=$(grep -rlIF "$build" "$prefix")
[[ -z $leaks ]] || fail "files naming the build folder: $leaks"
[[ $("$prefix/bin/qwbdcawm" --version) =~ ^qwbdcawm\ [0-9] ]] || fail "installed qwbdcawm --version"

# The installed emulator on a demo phone, on a Unix socket of its own.
"$prefix/bin/qwbdcawm-emu" init "$work/phone" --preset demo >/dev/null || fail "qwbdcawm-emu init"
"$prefix/bin/qwbdcawm-emu" serve "$work/phone" --listen "unix:$work/emu.sock" >"$work/emu.log" 2>&1 &
emu_pid=$!
for _ in $(seq 100); do [[ -S $work/emu.sock ]] && break; sleep 0.1; done
[[ -S $work/emu.sock ]] || { cat "$work/emu.log"; fail "the emulator did not start"; exit 1; }
export QWBDCAWM_DEVICE=unix:$work/emu.sock

# What the CLI lists is what the example must list: "ID<TAB>SUBJECT" per task.
export QWBDCAWM_REGISTRY=$work/cli.reg HOME=$work/home
want=$("$prefix/bin/qwbdcawm" tasks list --json | python3 -c 'import json, sys
for t in json.load(sys.stdin): print(t["id"], t["subject"], sep="\t")')
[[ $(wc -l <<<"$want") -ge 10 ]] || fail "the CLI lists too few tasks: $want"

run_example() {  # name, binary
  local got
  # A fresh registry store: the example registers the installed component itself.
  got=$(QWBDCAWM_REGISTRY=$work/$1.reg "$2" 2>"$work/$1.err" | cut -f1,2) ||
    fail "$1: the example failed: $(cat "$work/$1.err")"
  [[ $got == "$want" ]] || fail "$1: the example listed '$got', the CLI '$want'"
  # The store leads to the installed library (pkg-config's paths are not normalized).
  local registered
  registered=$(grep -A1 -F '{6FA1E685-F669-48B8-83B7-84FFB52677CB}\InprocServer32]' "$work/$1.reg" |
               sed -n 's/^@="\(.*\)"$/\1/p')
  [[ -n $registered && $(realpath "$registered") == $(realpath "$prefix/lib/libQWBDCAWM.so.1") ]] ||
    fail "$1: registered '$registered', not the library in $prefix"
}

flags=(-DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release)
[[ -n $sanitize ]] && flags+=(-DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize")
# Only the prefix: no package registry, no system pkg-config folders.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=
for variant in cmake pkgconfig; do
  opts=(-DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
  [[ $variant == pkgconfig ]] && opts=(-DUSE_PKG_CONFIG=ON)
  if cmake -S "$source/examples/host" -B "$work/example-$variant" -G Ninja "${flags[@]}" "${opts[@]}" \
       >"$work/example-$variant.log" 2>&1 &&
     cmake --build "$work/example-$variant" >>"$work/example-$variant.log" 2>&1; then
    run_example "$variant" "$work/example-$variant/list_tasks"
  else
    cat "$work/example-$variant.log"
    fail "$variant: the example did not build"
  fi
done
# pkg-config on a plain compiler line, as the README shows it.
# shellcheck disable=SC2046,SC2086
if "$cxx" -std=c++20 $sanitize "$source/examples/host/list_tasks.cpp" -o "$work/list_tasks_plain" \
     $(pkg-config --cflags --libs qwbdcawm) -Wl,-rpath,"$(pkg-config --variable=libdir qwbdcawm)" \
     -DQWBDCAWM_COMPONENT="\"$(pkg-config --variable=component qwbdcawm)\"" \
     -DQWBDCAWM_ERRORREPORT="\"$(pkg-config --variable=errorreport qwbdcawm)\"" -ldl; then
  run_example plain "$work/list_tasks_plain"
else
  fail "plain: the example did not compile"
fi
[[ $(pkg-config --modversion rapi) == "$(pkg-config --modversion wincompat)" ]] || fail "rapi.pc"
[[ $(pkg-config --libs rapi) == *-lrapi* ]] || fail "rapi.pc libs: $(pkg-config --libs rapi)"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
