#!/usr/bin/env bash
# make test-without-gtest: on a fresh clone of the current commit, with
# GoogleTest and Google Benchmark hidden, `make run` must build and run the
# program, and `make test` must stop with the one line naming the package.
#
# As root, the headers, CMake files and libraries are hidden by bind mounts
# in a private mount namespace of this script alone (the machine is left as
# it is); otherwise CMake is told not to find the packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ "${GENEIG_HIDDEN:-}" != 1 ] && [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  exec env GENEIG_HIDDEN=1 unshare -m --propagation private "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags=
if [ "${GENEIG_HIDDEN:-}" = 1 ]; then
  mkdir "$work/empty"
  for d in /usr/include/gtest /usr/include/gmock /usr/include/benchmark \
           /usr/lib/x86_64-linux-gnu/cmake/GTest /usr/lib/x86_64-linux-gnu/cmake/benchmark; do
    [ ! -d "$d" ] || mount --bind "$work/empty" "$d"
  done
  for f in /usr/lib/x86_64-linux-gnu/lib{gtest,gtest_main,gmock,gmock_main,benchmark}.{a,so}; do
    [ ! -e "$f" ] || mount --bind /dev/null "$f"
  done
  echo "GoogleTest and Google Benchmark hidden by bind mounts"
else
  flags="-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON"
  echo "GoogleTest and Google Benchmark hidden from CMake ($flags)"
fi

git clone -q "$root" "$work/clone"
cd "$work/clone"
git checkout -q "$(git -C "$root" rev-parse HEAD)"
make --no-print-directory run CMAKE_FLAGS="$flags" >run.log 2>&1 || { cat run.log; exit 1; }
cmp build/run/matrix.out examples/order2/matrix.out
echo "ok: make run"
if make --no-print-directory test CMAKE_FLAGS="$flags" >test.log 2>&1; then
  echo "make test passed without GoogleTest" >&2; exit 1
fi
grep -qx 'the tests need the Debian packages: libgtest-dev (make deps installs them, as root)' test.log ||
  { cat test.log; exit 1; }
echo "ok: make test stops with: $(head -n 1 test.log)"
