# Checks a solution of the order-2 example, A = [3, 1-i; 1+i, 1], B = I,
# printed as lines "E j value" and "V i j re im": the eigenvalues are
# 2 + sqrt(3) and 2 - sqrt(3), largest first, and the eigenvectors are
# B-orthonormal, V^H B V = I, each to a few rounding errors (eps = 2^-52).
$1 == "E" { e[$2] = $3 + 0; ne++ }
$1 == "V" { vr[$2, $3] = $4 + 0; vi[$2, $3] = $5 + 0; nv++ }
function abs(x) { return x < 0 ? -x : x }
function fail(what) { printf "%s: %s\n", FILENAME, what; failed = 1 }
END {
  n = 2; eps = 2 ^ -52
  if (ne != n || nv != n * n) { fail("expected " n " eigenvalues and " n * n " vector components"); exit 1 }
  big = 2 + sqrt(3)
  if (abs(e[1] - big) > 4 * n * eps * big) fail("E(1) = " e[1] " is not 2 + sqrt(3)")
  if (abs(e[2] - (2 - sqrt(3))) > 4 * n * eps * big) fail("E(2) = " e[2] " is not 2 - sqrt(3)")
  # With B = I the Gram matrix V^H B V is V^H V.
  for (j = 1; j <= n; j++)
    for (k = 1; k <= n; k++) {
      re = 0; im = 0
      for (i = 1; i <= n; i++) {
        re += vr[i, j] * vr[i, k] + vi[i, j] * vi[i, k]
        im += vr[i, j] * vi[i, k] - vi[i, j] * vr[i, k]
      }
      if (abs(re - (j == k)) > 10 * n * eps || abs(im) > 10 * n * eps)
        fail("V^H B V differs from I at (" j "," k "): " re " " im)
    }
  exit failed
}
