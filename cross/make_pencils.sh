#!/bin/sh
# make_pencils.sh DIR: writes DIR/<name>/matrix.in for a set of pencils that
# take the solver's main paths: random Hermitian A with Hermitian B made
# positive definite by its diagonal (|B(i,j)| < sqrt(2) off it,
# B(i,i) > 2N - 1), orders 2 to 200; A = I + w w^H with B = I, whose
# eigenvalue 1 is repeated N - 1 times; and graded pencils S A S, S B S with
# S = diag(10^k), |k| <= 80, whose entries reach past the range where their
# squares are representable; and one indefinite B, of entries from 1e-86 to
# 1e74, whose failed solve gives NaN in every result. Entries have 17
# significant digits. The generator is Park and Miller's, exact in double
# arithmetic, so the files do not depend on the awk's own.
set -eu
mkdir -p "$1/indefinite3"
cat >"$1/indefinite3/matrix.in" <<'PENCIL'
3 0
Matrix A
1 1 -0.00016860769000223109 -0
1 2 -7.2402630379016539 0.48562859442406836
1 3 1.3715827907622698e-40 -4.3798321535260404e-40
2 1 -7.2402630379016539 -0.48562859442406836
2 2 3.8859451152742321e+26 -0
2 3 -3.9710725717922905e-82 -1.5662584142206326e-81
3 1 1.3715827907622698e-40 4.3798321535260404e-40
3 2 -3.9710725717922905e-82 1.5662584142206326e-81
3 3 -1.6276342305385162e+67 -0
Matrix B
1 1 1.3048473133664692e+70 -0
1 2 -3.8865012976630678e-26 9.7345647029023839e-26
1 3 1.9029165541919194e-23 -1.4914350870078482e-23
2 1 -3.8865012976630678e-26 -9.7345647029023839e-26
2 2 7.0022120662939622e+17 -0
2 3 -1.7917078225212844e+74 3.4821231377813435e+73
3 1 1.9029165541919194e-23 1.4914350870078482e-23
3 2 -1.7917078225212844e+74 -3.4821231377813435e+73
3 3 2.6448876408617838e-86 -0
PENCIL
awk -v dir="$1" '
function u() { seed = (seed * 16807) % 2147483647; return 2 * seed / 2147483647 - 1 }
function pencil(name, n, kind,   i, j, f, s, wr, wi, ar, ai, br, bi, file) {
  seed = 12345 + n * 7 + length(kind)
  for (i = 1; i <= n; ++i) {
    wr[i] = u(); wi[i] = u(); s[i] = kind == "graded" ? 10 ^ int(80 * u()) : 1
  }
  for (j = 1; j <= n; ++j)
    for (i = j; i <= n; ++i) {
      if (kind == "cluster") {
        ar[i, j] = (i == j) + wr[i] * wr[j] + wi[i] * wi[j]
        ai[i, j] = i == j ? 0 : wi[i] * wr[j] - wr[i] * wi[j]
      } else {
        ar[i, j] = u(); ai[i, j] = i == j ? 0 : u()
      }
      if (kind == "cluster") { br[i, j] = i == j; bi[i, j] = 0 }
      else { br[i, j] = i == j ? 2 * n + u() : u(); bi[i, j] = i == j ? 0 : u() }
    }
  system("mkdir -p " dir "/" name)
  file = dir "/" name "/matrix.in"
  printf "%d 0.0\nMatrix A\n", n > file
  for (i = 1; i <= n; ++i)
    for (j = 1; j <= n; ++j) {
      f = s[i] * s[j]
      if (i >= j) printf "%d %d %.17g %.17g\n", i, j, ar[i, j] * f, ai[i, j] * f > file
      else printf "%d %d %.17g %.17g\n", i, j, ar[j, i] * f, -ai[j, i] * f > file
    }
  printf "Matrix B\n" > file
  for (i = 1; i <= n; ++i)
    for (j = 1; j <= n; ++j) {
      f = s[i] * s[j]
      if (i >= j) printf "%d %d %.17g %.17g\n", i, j, br[i, j] * f, bi[i, j] * f > file
      else printf "%d %d %.17g %.17g\n", i, j, br[j, i] * f, -bi[j, i] * f > file
    }
  close(file)
}
BEGIN {
  pencil("random2", 2, "random"); pencil("random3", 3, "random"); pencil("random6", 6, "random")
  pencil("random17", 17, "random"); pencil("random50", 50, "random")
  pencil("random120", 120, "random"); pencil("random200", 200, "random")
  pencil("cluster25", 25, "cluster"); pencil("cluster80", 80, "cluster")
  pencil("graded10", 10, "graded"); pencil("graded60", 60, "graded")
}'
