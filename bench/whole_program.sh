#!/bin/sh
# The whole program against its Eigen-based peer (geneig_eigen_program, which
# reads its file whole and converts numbers with std::from_chars and
# std::to_chars), on the same order-N input file, with hyperfine: ROUNDS rounds, each running
# both programs RUNS times, the one that went first in the last round going
# second, so that a change of load on a shared machine falls on both alike.
# Prints the median of the rounds' medians of real time, their spread, and
# the ratio; and the same of the processor time (user and system, a mean per
# round, as hyperfine gives it), which a busy machine disturbs less.
#
# usage: bench/whole_program.sh BUILD_DIR [N [ROUNDS [RUNS]]]
set -eu
build=$(cd "$1" && pwd)
n=${2:-200}
rounds=${3:-10}
runs=${4:-20}
ours=$build/geneig
peer=$build/bench/geneig_eigen_program
command -v hyperfine >/dev/null || { echo "needs the Debian package: hyperfine" >&2; exit 1; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# A Hermitian A with entries in (-1, 1) and a Hermitian, diagonally dominant
# B, row by row, 17 significant digits: a fixed awk seed makes the same file
# each time with the same awk.
awk -v n="$n" 'BEGIN {
  srand(200);
  for (m = 0; m < 2; ++m)
    for (i = 1; i <= n; ++i) {
      re[m, i, i] = (m ? 3 * n : 0) + 2 * rand() - 1; im[m, i, i] = 0;
      for (j = 1; j < i; ++j) {
        re[m, i, j] = 2 * rand() - 1; im[m, i, j] = 2 * rand() - 1;
        re[m, j, i] = re[m, i, j]; im[m, j, i] = -im[m, i, j];
      }
    }
  printf "%d 0.0\n", n;
  for (m = 0; m < 2; ++m) {
    print m ? "Matrix B" : "Matrix A";
    for (i = 1; i <= n; ++i)
      for (j = 1; j <= n; ++j) printf "%d %d %.17g %.17g\n", i, j, re[m, i, j], im[m, i, j];
  }
}' >matrix.in

first=$ours second=$peer
r=1
while [ "$r" -le "$rounds" ]; do
  hyperfine -N --warmup 3 --runs "$runs" --export-csv "round$r.csv" "$first" "$second" \
    >/dev/null 2>hyperfine.log || { cat hyperfine.log >&2; exit 1; }
  t=$first first=$second second=$t
  r=$((r + 1))
done

# CSV columns: command, mean, stddev, median, user, system, min, max (s).
# summary COMMAND EXPRESSION: the median over the rounds of EXPRESSION (in
# ms, of the CSV fields), the least and the greatest.
summary() {
  cat round*.csv | awk -F, -v cmd="$1" '$1 == cmd { print '"$2"' * 1000 }' | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.2f %.2f %.2f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
report() {
  printf '  geneig                %7.2f  (%.2f - %.2f)\n' "$1" "$2" "$3"
  printf '  Eigen-based program   %7.2f  (%.2f - %.2f)\n' "$4" "$5" "$6"
  awk -v a="$1" -v b="$4" 'BEGIN { printf "  geneig / Eigen-based  %7.3f\n", a / b }'
}
echo "order $n, $rounds rounds of $runs runs each, in ms (the spread over the rounds):"
echo "real time, median of each round:"
report $(summary "$ours" '$4') $(summary "$peer" '$4')
echo "processor time (user + system), mean of each round:"
report $(summary "$ours" '($5 + $6)') $(summary "$peer" '($5 + $6)')
