/* A v = lambda B v for A = [3, 1-i; 1+i, 1] and B = I, from C.
 * Build: cc -std=c99 solve.c $(pkg-config --cflags --libs geneig) */
#include <stdio.h>

#include <geneig/geneig.h>

int main(void) {
  enum { n = 2 };
  /* Column-major; each complex number a pair (real, imaginary). */
  double A[2 * n * n] = {3, 0, 1, 1, 1, -1, 1, 0};
  double B[2 * n * n] = {1, 0, 0, 0, 0, 0, 1, 0};
  double D[2 * n], E[n], V[2 * n * n], W[n * 7], eps = 0;
  int32_t N = n, IW[n], ill = 0;

  /* All eigenvalues (M = N, largest first) and all eigenvectors (MV = N). */
  eigcab_(A, B, &N, &N, &N, &N, &eps, D, E, V, &ill, IW, W);
  if (ill != 0) return 1;
  for (int j = 0; j < n; ++j) printf("E %d %.17g\n", j + 1, E[j]);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      printf("V %d %d %.17g %.17g\n", i + 1, j + 1, V[2 * (i + j * n)], V[2 * (i + j * n) + 1]);
  return 0;
}
