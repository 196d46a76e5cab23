#!/usr/bin/env bash
# make test-install: installs the build into a temporary prefix, moves the
# tree elsewhere (every file must find the others relative to itself), and
# then, against the installed tree alone:
#   - checks the layout (the public headers and no other), the SONAME, the
#     symbols libgeneig.so exports (the API and nothing else) and one
#     version everywhere;
#   - compiles each installed header on its own: the C headers as C99 and
#     as C++, the C++ headers as C++20;
#   - builds examples/library/solve.f90 (gfortran), solve.c and
#     solve_threads.c (cc) through pkg-config, solve.c and solve.f90 again
#     linked statically through pkg-config geneig-static (and checks that
#     they need no libgeneig.so), and examples/library/cxx through
#     find_package(geneig), and checks each one's solution of the order-2
#     example; builds and runs tests/install/reentrant.f90 (eigcabw from
#     Fortran, against eigcab) and tests/install/reentrant.cpp (the C++
#     overloads with make_workspace's Workspace, on two threads);
#   - runs the README's build lines for a prefix of one's own as they stand;
#   - runs the installed program on examples/order2 and compares matrix.out
#     with examples/order2/matrix.out;
#   - runs the recipes of examples/recipes for every tool on the machine;
#   - imports the Python module from the prefix, where the build has it,
#     and from a pip install of the source tree;
#   - renders the manual pages with man, which must not warn, the reentrant
#     entries' pages by name, and checks that geneig(1) holds every message
#     of docs/messages.md that the program writes.
# (That the README and docs/ show the examples as they stand, and quote the
# sources' messages, is checked by make test: tests/docs/check_docs.py.)
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: test_install.sh BUILD_DIR}" && pwd)
here=$root/tests/install

missing=
for tool in gfortran:gfortran cc:gcc c++:g++ pkg-config:pkgconf man:man-db nroff:groff-base \
            readelf:binutils; do
  command -v "${tool%%:*}" >/dev/null || missing+=" ${tool#*:}"
done
if [ -n "$missing" ]; then
  echo "the install test needs the Debian packages:$missing (make deps installs them, as root)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/staging" >/dev/null
mv "$work/staging" "$work/prefix"
P=$work/prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# A group of checks passes when no failure came since its mark.
mark() { marked=$failures; }
pass_group() { [ "$failures" != "$marked" ] || pass "$*"; }

# Layout.
mark
for f in bin/geneig lib/libgeneig.a lib/libgeneig.so \
         lib/cmake/geneig/geneigConfig.cmake lib/cmake/geneig/geneigConfigVersion.cmake \
         lib/pkgconfig/geneig.pc lib/pkgconfig/geneig-static.pc share/man/man1/geneig.1 \
         share/man/man3/eigcab.3 share/man/man3/eigch.3 share/man/man3/mtxcnv.3 \
         share/man/man3/eigcabw.3 share/man/man3/eigchw.3 share/man/man3/eiglwork.3 \
         share/doc/geneig/LICENSE share/doc/geneig/README.md share/doc/geneig/CHANGELOG.md \
         share/doc/geneig/docs/messages.md; do
  [ -e "$P/$f" ] || fail "$f not installed"
done
# The public headers, and no other.
headers=$(cd "$P/include/geneig" && ls | tr '\n' ' ')
[ "$headers" = "eigcab.hpp geneig.h geneig.hpp geneig_ill.h mtxcnv.hpp rdmtx.hpp result_check.hpp saveeig.hpp version.h " ] ||
  fail "include/geneig holds $headers"
export PKG_CONFIG_LIBDIR=$P/lib/pkgconfig PKG_CONFIG_PATH=
version=$(pkg-config --modversion geneig)
header_version=$(sed -n 's/^#define GENEIG_VERSION_STRING "\(.*\)"$/\1/p' "$P/include/geneig/version.h")
[ "$version" = "$header_version" ] || fail "pkg-config says $version, version.h $header_version"
soname=$(readelf -d "$P/lib/libgeneig.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "libgeneig.so.${version%%.*}" ] || fail "SONAME is '$soname'"
[ -e "$P/lib/$soname" ] && [ -e "$P/lib/libgeneig.so.$version" ] || fail "libgeneig.so.$version missing"
for page in man1/geneig.1 man3/eigcab.3 man3/eigch.3 man3/mtxcnv.3; do
  grep -q "geneig $version" "$P/share/man/$page" || fail "$page does not name version $version"
done
# The API: the entries of geneig.h, and the routines in namespace geneig
# that the C++ headers declare (one line per overload).
api='eigcab_ eigcabw_ eigch_ eigchw_ eiglwork_ mtxcnv_
geneig::WorkspaceDeleter::operator() geneig::eigcab geneig::eigcab geneig::eigch geneig::eigch
geneig::format_input geneig::format_result geneig::install_result_file_signals
geneig::make_workspace geneig::mtxcnv geneig::pivot_line geneig::rdmtx geneig::read_matrix_file
geneig::read_result_file geneig::residual_check geneig::saveeig geneig::write_input_file
geneig::write_result_file'
expected=$(tr ' ' '\n' <<<"$api" | sort)
# A symbol's name: what nm shows, less the address, the type and the
# parameters (the call operator keeps its "()").
names() { sed -E 's/^[0-9a-f]* [A-Za-z] //; s/^((operator\(\)|[^(])*)\(.*/\1/'; }
exported=$(nm -D --defined-only -C "$P/lib/libgeneig.so" | names | sort)
[ "$exported" = "$expected" ] ||
  fail "libgeneig.so exports other symbols than the API: $(diff <(echo "$expected") <(echo "$exported") | grep '^[<>]' | tr '\n' ' ')"
archived=$(nm --defined-only --extern-only -C "$P/lib/libgeneig.a" | names)
for s in $api; do
  grep -qxF -- "$s" <<<"$archived" || fail "libgeneig.a does not define $s"
done
pass_group "layout, version $version, SONAME $soname, symbols"

# Headers: each on its own, the C ones as C99 and C++, the C++ ones as C++20.
mark
# (A declaration after the header: ISO C refuses a translation unit of
# macros alone, such as version.h.)
for h in "$P"/include/geneig/*.h; do
  unit="#include <geneig/${h##*/}>
typedef int declared;"
  cc -std=c99 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I"$P/include" -x c - <<<"$unit" ||
    fail "${h##*/} is not valid C99 on its own"
  c++ -std=c++11 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I"$P/include" -x c++ - \
    <<<"$unit" || fail "${h##*/} is not valid C++ on its own"
done
for h in "$P"/include/geneig/*.hpp; do
  echo "#include <geneig/${h##*/}>" | c++ -std=c++20 -pedantic-errors -Wall -Wextra -Werror \
    -fsyntax-only -I"$P/include" -x c++ - || fail "${h##*/} is not self-contained"
done
pass_group "headers, each on its own"

# The examples, each built against the installed tree and checked.
check() {  # check NAME COMMAND...: runs the command in a fresh directory holding the order-2 input
  local name=$1 dir=$work/run-$1
  shift
  mkdir -p "$dir" && cp "$root/examples/order2/matrix.in" "$dir/"
  if (cd "$dir" && LD_LIBRARY_PATH=$P/lib "$@" >out.txt) &&
     awk -f "$here/check_order2.awk" "$dir/out.txt"; then
    pass "$name"
  else
    fail "$name"
  fi
}
ex=$root/examples/library
# shellcheck disable=SC2046  # pkg-config's output is a list of words
gfortran -o "$work/solve-fortran" "$ex/solve.f90" $(pkg-config --cflags --libs geneig)
check "Fortran example (pkg-config, libgeneig.so)" "$work/solve-fortran"
# shellcheck disable=SC2046
gfortran -o "$work/reentrant-fortran" "$here/reentrant.f90" $(pkg-config --cflags --libs geneig)
LD_LIBRARY_PATH=$P/lib "$work/reentrant-fortran" && pass "Fortran reentrant solve (eiglwork, eigcabw)" ||
  fail "Fortran reentrant solve (eiglwork, eigcabw)"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/solve-c" "$ex/solve.c" $(pkg-config --cflags --libs geneig)
check "C example (pkg-config, libgeneig.so)" "$work/solve-c"
# Linked statically through geneig-static: libgeneig.so lies beside the
# archive, and the programs must not need it.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/solve-c-static" "$ex/solve.c" \
  $(pkg-config --cflags --libs geneig-static)
# shellcheck disable=SC2046
gfortran -o "$work/solve-fortran-static" "$ex/solve.f90" $(pkg-config --cflags --libs geneig-static)
for program in solve-c-static solve-fortran-static; do
  ! readelf -d "$work/$program" | grep -q 'NEEDED.*libgeneig' ||
    fail "$program, linked through geneig-static, needs libgeneig.so"
done
check "C example (pkg-config geneig-static, libgeneig.a)" "$work/solve-c-static"
check "Fortran example (pkg-config geneig-static, libgeneig.a)" "$work/solve-fortran-static"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -pthread -o "$work/solve-threads" "$ex/solve_threads.c" \
  $(pkg-config --cflags --libs geneig)
check "C example on two threads (eigcabw_, pkg-config)" "$work/solve-threads"
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Wextra -Werror -pthread -o "$work/reentrant-cxx" "$here/reentrant.cpp" \
  $(pkg-config --cflags --libs geneig)
check "C++ on two threads (make_workspace, the reentrant eigcab and eigch)" "$work/reentrant-cxx"
cmake -S "$ex/cxx" -B "$work/cxx" -DCMAKE_PREFIX_PATH="$P" >/dev/null
grep -qx "geneig_DIR:PATH=$P/lib/cmake/geneig" "$work/cxx/CMakeCache.txt" ||
  fail "find_package(geneig) found $(grep geneig_DIR: "$work/cxx/CMakeCache.txt")"
cmake --build "$work/cxx" >/dev/null
check "C++ example (find_package, rdmtx and eigcab)" "$work/cxx/solve"

# The README's lines for a prefix of one's own, run as they stand on a copy
# of examples/, with $HOME/geneig the installed tree and none of this
# script's environment: the programs they build must find the library, the
# one linked through geneig-static without libgeneig.so.
mkdir -p "$work/home" "$work/readme" && ln -s "$P" "$work/home/geneig" &&
  cp -r "$root/examples" "$work/readme/"
awk '/^```/ { inside = !inside; if (!inside) on = 0; next }
     inside && $0 == "P=$HOME/geneig" { on = 1 } on' "$root/README.md" >"$work/readme/lines.sh"
if [ -s "$work/readme/lines.sh" ] &&
   (cd "$work/readme" && env -u PKG_CONFIG_LIBDIR -u LD_LIBRARY_PATH HOME="$work/home" \
      bash -e lines.sh >lines.log 2>&1) &&
   ! readelf -d "$work/readme/examples/library/a.out" | grep -q 'NEEDED.*libgeneig' &&
   (cd "$work/readme/examples/order2" && ../library/a.out >../a.txt &&
    ../library/build-cxx/solve >../cxx.txt) &&
   awk -f "$here/check_order2.awk" "$work/readme/examples/a.txt" &&
   awk -f "$here/check_order2.awk" "$work/readme/examples/cxx.txt"; then
  pass "the README's lines for a prefix of one's own"
else
  fail "the README's lines for a prefix of one's own: $(tail -n 5 "$work/readme/lines.log" 2>/dev/null)"
fi

# The installed program writes exactly the README's result.
mkdir -p "$work/program" && cp "$root/examples/order2/matrix.in" "$work/program/"
(cd "$work/program" && "$P/bin/geneig")
diff "$root/examples/order2/matrix.out" "$work/program/matrix.out" &&
  pass "program on examples/order2" || fail "program on examples/order2"

# The recipes: write matrix.in, run the program, read matrix.out.
recipe() {  # recipe NAME WRITE_COMMAND READ_COMMAND
  local dir=$work/recipe-$1
  mkdir -p "$dir"
  if (cd "$dir" && eval "$2" && "$P/bin/geneig" &&
      diff "$root/examples/order2/matrix.out" matrix.out && eval "$3" >out.txt) &&
     awk -f "$here/check_order2.awk" "$dir/out.txt"; then
    pass "$1 recipes"
  else
    fail "$1 recipes"
  fi
}
gfortran -o "$work/recipes-fortran" "$here/recipes.f90" "$root"/examples/recipes/*.f90
recipe Fortran "$work/recipes-fortran write" "$work/recipes-fortran read"
# The first Python that has NumPy: the one on the path, or Debian's own
# (python3-numpy, which make deps installs).
numpy_python=
for py in python3 /usr/bin/python3; do
  if "$py" -c 'import numpy' 2>/dev/null; then numpy_python=$py; break; fi
done
if [ -n "$numpy_python" ]; then
  recipe NumPy "$numpy_python $here/recipes.py write $root/examples/recipes" \
               "$numpy_python $here/recipes.py read $root/examples/recipes"
else
  echo "skipped: the NumPy recipes (NumPy is not installed)"
fi
if command -v octave >/dev/null; then
  octave_run="octave --no-gui --quiet --path $root/examples/recipes --eval"
  recipe Octave "$octave_run \"mode='write'; source('$here/recipes.m')\"" \
                "$octave_run \"mode='read'; source('$here/recipes.m')\""
else
  echo "skipped: the Octave recipes (Octave is not installed)"
fi

# The Python module, where the build has it: as cmake --install left it in
# the prefix's site-packages, and as pip builds and installs it from the
# source tree; each solves the order-2 example to the program's bits and
# reads back the file it writes.
py_check='import sys, geneig, numpy as np
w, v = geneig.read_matrix_out(sys.argv[1] + "/examples/order2/matrix.out")
a, b = geneig.read_matrix_in(sys.argv[1] + "/examples/order2/matrix.in")
w2, v2 = geneig.eigh(a, b, order="descending")
assert w.tobytes() == w2.tobytes() and v.tobytes() == v2.tobytes(), (w, w2)
print(geneig.__file__)'
site=$(find "$P" -path '*-packages/geneig/__init__.py' | head -n 1)
if [ -e "$build/python/geneig/__init__.py" ] && [ -z "$site" ]; then
  fail "the build has the Python module, the prefix has no site-packages/geneig"
elif [ -n "$site" ]; then
  PYTHONPATH=${site%/geneig/__init__.py} /usr/bin/python3 -c "$py_check" "$root" | grep -q "^$P/" &&
    pass "Python module from the prefix" || fail "Python module from the prefix"
  if /usr/bin/python3 -m pip --version >/dev/null 2>&1; then
    cp -r "$root" "$work/pip-source" && rm -rf "$work/pip-source"/build* "$work/pip-source/.git"
    if (cd "$work/pip-source" && /usr/bin/python3 -m pip install -q --no-build-isolation --no-index \
          --no-warn-script-location --root-user-action=ignore --prefix "$work/pip" . \
          >"$work/pip.log" 2>&1); then
      site=$(find "$work/pip" -path '*-packages/geneig/__init__.py' | head -n 1)
      PYTHONPATH=${site%/geneig/__init__.py} /usr/bin/python3 -c "$py_check" "$root" >/dev/null &&
        pass "Python module from pip install" || fail "Python module from pip install"
    else
      fail "pip install: $(tail -n 5 "$work/pip.log")"
    fi
  else
    echo "skipped: pip install of the Python module (python3-pip is not installed)"
  fi
else
  echo "skipped: the Python module (not in this build: make python)"
fi

# The manual pages render without a warning; a page that is a ".so" link
# (eigcabw(3) and the others) is rendered by its name, as man finds it in
# the installed tree, and must show the page it leads to.
mark
for page in "$P"/share/man/man*/*; do
  name=${page##*/}
  if read -r first <"$page" && [ "${first%% *}" = .so ]; then
    target=${first#.so man3/}
    shown=$(MANWIDTH=80 man --warnings -M "$P/share/man" 3 "${name%.3}" 2>"$work/man-warnings") ||
      shown=
    head -n 1 <<<"$shown" | grep -qi "^${target%.3}(3)" || fail "man ${name%.3} does not show $target"
    warnings=$(cat "$work/man-warnings")
  else
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || warnings+=" (man failed)"
  fi
  [ -z "$warnings" ] || fail "man $name: $warnings"
done
# geneig(1) holds every message of the catalogue in docs/messages.md that
# the program writes (the lines of its fenced blocks without a language,
# before the library's own).
man1=$(MANWIDTH=200 LC_ALL=C man -l "$P/share/man/man1/geneig.1" 2>/dev/null)
awk '/^## Library routines only/ { exit } /^```$/ { inside = !inside; next } inside' \
    "$root/docs/messages.md" |
  while IFS= read -r line; do
    grep -qF -- "$line" <<<"$man1" || echo "$line"
  done >"$work/unlisted"
[ ! -s "$work/unlisted" ] || fail "geneig(1) lacks the messages: $(cat "$work/unlisted")"
pass_group "manual pages"

[ "$failures" = 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "install test passed"
