#!/bin/sh
# Prints the path of a single-threaded OpenBLAS library for the benchmarks'
# "openblas" peer, or nothing when there is none to be had.
#
# A library the system already has is used as it stands. Otherwise Debian's
# libopenblas0-serial is downloaded and unpacked into DIR, without installing
# it: installing it would make OpenBLAS the system's liblapack.so.3, and the
# tests must keep reference LAPACK as their oracle.
#
# Usage: bench/fetch_openblas.sh DIR
dir=$1
for lib in /usr/lib/*/openblas-serial/libopenblas.so.0 \
           "$dir"/usr/lib/*/openblas-serial/libopenblas.so.0; do
  if [ -f "$lib" ]; then
    echo "$lib"
    exit 0
  fi
done
command -v apt-get >/dev/null 2>&1 && command -v dpkg-deb >/dev/null 2>&1 || exit 0
mkdir -p "$dir/download" || exit 0
(cd "$dir/download" && apt-get download -q libopenblas0-serial >/dev/null 2>&1) || {
  echo "OpenBLAS: libopenblas0-serial could not be downloaded; the benchmarks go without it" >&2
  exit 0
}
dpkg-deb -x "$dir"/download/libopenblas0-serial_*.deb "$dir" || exit 0
for lib in "$dir"/usr/lib/*/openblas-serial/libopenblas.so.0; do
  [ -f "$lib" ] && echo "$lib"
done
exit 0
