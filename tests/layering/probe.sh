#!/bin/sh
# probe.sh CMAKE BUILD_DIR TARGET SOURCE fail|link
# Builds the object of SOURCE for TARGET (it must compile), then TARGET: with "fail" the link
# must fail with an undefined reference to the device data object; with "link" it must link.
cmake=$1 build=$2 target=$3 source=$4 expect=$5
if ! "$cmake" --build "$build" --target "tests/layering/CMakeFiles/$target.dir/$source.o" \
    >/dev/null 2>&1; then
  echo "the probe does not compile"
  exit 1
fi
out=$("$cmake" --build "$build" --target "$target" 2>&1)
status=$?
if [ "$expect" = fail ]; then
  [ $status -ne 0 ] || { echo "the back-edge linked"; exit 1; }
  echo "$out" | grep -q 'undefined reference to .*CDeviceDataWM::GetWMModelType' ||
    { echo "failed for another reason:"; echo "$out"; exit 1; }
else
  [ $status -eq 0 ] || { echo "$out"; exit 1; }
fi
echo ok
