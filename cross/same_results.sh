#!/bin/sh
# same_results.sh REFERENCE PROGRAM [EMULATOR]: runs the program REFERENCE
# and the program PROGRAM (under EMULATOR, e.g. qemu-aarch64, if given) on
# each pencil of make_pencils.sh; fails unless both write byte-identical
# matrix.out files, standard output and standard error, and end with the
# same status.
set -eu
reference=$(realpath "$1")
program=$(realpath "$2")
emulator=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/make_pencils.sh" "$work"
same=0 total=0
for dir in "$work"/*/; do
  name=$(basename "$dir") total=$((total + 1))
  status=0; (cd "$dir" && "$reference" >reference.stdout 2>reference.stderr) || status=$?
  mv "$dir/matrix.out" "$dir/reference.out"
  status2=0; (cd "$dir" && $emulator "$program" >program.stdout 2>program.stderr) || status2=$?
  if [ "$status" = "$status2" ] && cmp -s "$dir/reference.out" "$dir/matrix.out" &&
     cmp -s "$dir/reference.stdout" "$dir/program.stdout" &&
     cmp -s "$dir/reference.stderr" "$dir/program.stderr"; then
    same=$((same + 1))
  else
    echo "$name: results differ (status $status and $status2)"
  fi
done
echo "$same of $total pencils: identical results"
[ "$same" = "$total" ]
