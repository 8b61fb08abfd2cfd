#!/usr/bin/env bash
# The Debian packages as cpack makes them: contents, dependencies from dpkg-shlibdeps, and the
# CLI run from the unpacked runtime package (no LD_LIBRARY_PATH: relative run paths only).
#   deb_test.sh BUILD_DIR WORK_DIR INSTALL_PREFIX VERSION
set -u
build=$1 work=$2 prefix=$3 version=$4
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
unset LD_LIBRARY_PATH QWBDCAWM_DEVICE QWBDCAWM_DEBUG

rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
runtime=$(ls "$work"/out/qwbdcawm_"$version"*.deb 2>/dev/null | head -1)
dev=$(ls "$work"/out/qwbdcawm-dev_"$version"*.deb 2>/dev/null | head -1)
[[ -f $runtime && -f $dev ]] || { ls "$work/out"; fail "no qwbdcawm and qwbdcawm-dev packages"; exit 1; }

p=.${prefix%/}
contents() { dpkg-deb --contents "$1" | awk '{ print $6 }' | sed 's/ ->.*//'; }
check_contents() {  # package, path...
  local deb=$1 list
  shift
  list=$(contents "$deb")
  for f in "$@"; do grep -qxF -- "$f" <<<"$list" || fail "$(basename "$deb") lacks $f"; done
}
# Runtime: the libraries by SONAME (the lunar library also by the name the component loads).
check_contents "$runtime" "$p/bin/qwbdcawm" "$p/bin/qwbdcawm-emu" "$p/bin/regsvr" \
  "$p/sbin/qwbdcawm-connectd" "$p/lib/libwincompat.so.1" "$p/lib/librapi.so.1" \
  "$p/lib/libQWBDCAWM.so.1" "$p/lib/libErrorReport.so.1" "$p/lib/libConvLunar.so" \
  "$p/share/qwbdcawm/WMModelProfile.xml" "$p/share/bash-completion/completions/qwbdcawm" \
  "$p/lib/systemd/system/qwbdcawm-connectd.service" "$p/lib/sysusers.d/qwbdcawm.conf" \
  "$p/share/man/man1/qwbdcawm.1.gz" \
  "$p/share/man/man1/qwbdcawm-emu.1.gz"
check_contents "$dev" "$p/include/qwbdcawm/qwbdcawm.h" "$p/include/wincompat/com.h" \
  "$p/include/errorreport/ErrorReport.h" "$p/lib/libwincompat.so" "$p/lib/librapi.so" \
  "$p/lib/pkgconfig/qwbdcawm.pc" "$p/lib/cmake/QWBDCAWM/QWBDCAWMConfig.cmake"
contents "$runtime" | grep -E '\.h$|\.pc$|libwincompat\.so$' && fail "runtime package holds dev files"
contents "$dev" | grep -E 'bin/|\.so\.1' && fail "dev package holds runtime files"

# Dependencies: what the binaries link, found by dpkg-shlibdeps; -dev needs this very runtime.
depends=$(dpkg-deb -f "$runtime" Depends)
for want in libc6 'libstdc\+\+6' libsqlite3-0 libical3 libpugixml1v5 'libicu[0-9]+' libvips42; do
  grep -qE "(^|, )$want( |,|$)" <<<"$depends" || fail "qwbdcawm Depends lacks $want: $depends"
done
[[ $(dpkg-deb -f "$dev" Depends) == *"qwbdcawm (= $version"* ]] ||
  fail "qwbdcawm-dev Depends: $(dpkg-deb -f "$dev" Depends)"

# The units' user: the sysusers.d file creates it (tried in a scratch root), both units run
# as it, and the postinst creates it from the installed file.
dpkg-deb -x "$runtime" "$work/root"
sysusers=$work/root/${prefix#/}/lib/sysusers.d/qwbdcawm.conf
for unit in qwbdcawm-connectd.service qwbdcawm-link@.service; do
  grep -qx 'User=qwbdcawm' "$work/root/${prefix#/}/lib/systemd/system/$unit" ||
    fail "$unit does not run as qwbdcawm"
done
if command -v systemd-sysusers >/dev/null; then
  mkdir -p "$work/sysroot/etc"
  systemd-sysusers --root="$work/sysroot" "$sysusers" >"$work/sysusers.log" 2>&1 ||
    fail "systemd-sysusers: $(cat "$work/sysusers.log")"
  grep -q '^qwbdcawm:x:[0-9]*:[0-9]*:' "$work/sysroot/etc/passwd" ||
    fail "the sysusers.d file created no user qwbdcawm"
fi
dpkg-deb --ctrl-tarfile "$runtime" | tar -x -C "$work" ./postinst 2>/dev/null ||
  fail "qwbdcawm has no postinst"
[[ -x $work/postinst ]] || fail "the postinst is not executable"
grep -qF "systemd-sysusers \"${prefix%/}/lib/sysusers.d/qwbdcawm.conf\"" "$work/postinst" ||
  fail "the postinst does not create the user from the installed file"
sh -n "$work/postinst" || fail "the postinst is not valid sh"

# Unpacked anywhere, the CLI runs and reaches the component and the emulator through its own
# relative paths.
bin=$work/root/${prefix#/}/bin
out=$("$bin/qwbdcawm" --version 2>&1) || fail "unpacked qwbdcawm --version: $out"
[[ $out == "qwbdcawm $version" ]] || fail "unpacked qwbdcawm --version says '$out'"
tasks=$(HOME=$work/home XDG_CONFIG_HOME= XDG_CACHE_HOME= QWBDCAWM_REGISTRY= \
        timeout 120 "$bin/qwbdcawm" tasks list --json 2>"$work/cli.err") ||
  fail "unpacked qwbdcawm tasks list: $(cat "$work/cli.err")"
grep -q '"subject": "Renew car insurance"' <<<"$tasks" || fail "unpacked CLI listed: $tasks"
grep -qF "$work/root" "$work/home/.config/qwbdcawm/registry.reg" ||
  fail "the unpacked CLI did not register its own component"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
