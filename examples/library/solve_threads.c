/* Pencils solved on several threads at once from C, each thread with a
 * workspace of its own: here the order-2 example on two threads.
 * Build: cc -std=c99 -pthread solve_threads.c $(pkg-config --cflags --libs geneig) */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <geneig/geneig.h>

enum { n = 2 };

struct pencil {
  double A[2 * n * n], B[2 * n * n], D[2 * n], E[n], V[2 * n * n], W[n * 7];
  int32_t IW[n], ill;
};

static void *solve(void *arg) {
  struct pencil *p = arg;
  const int32_t N = n, lwork = eiglwork_(&N);
  double eps = 0, *work = malloc(sizeof(double) * (size_t)lwork);
  p->ill = work == NULL ? -1 : 0;
  if (work == NULL) return NULL;
  eigcabw_(p->A, p->B, &N, &N, &N, &N, &eps, p->D, p->E, p->V, &p->ill, p->IW, p->W, work, &lwork);
  free(work);
  return NULL;
}

int main(void) {
  static struct pencil pencils[2];
  static const double A[] = {3, 0, 1, 1, 1, -1, 1, 0}, B[] = {1, 0, 0, 0, 0, 0, 1, 0};
  pthread_t threads[2];
  for (int t = 0; t < 2; ++t) {
    memcpy(pencils[t].A, A, sizeof A);
    memcpy(pencils[t].B, B, sizeof B);
    if (pthread_create(&threads[t], NULL, solve, &pencils[t]) != 0) return 1;
  }
  for (int t = 0; t < 2; ++t) pthread_join(threads[t], NULL);
  for (int t = 0; t < 2; ++t)
    if (pencils[t].ill != 0) return 1;
  /* Each thread's solve gives the same bits. */
  if (memcmp(pencils[0].E, pencils[1].E, sizeof pencils[0].E) != 0 ||
      memcmp(pencils[0].V, pencils[1].V, sizeof pencils[0].V) != 0)
    return 1;
  const struct pencil *p = &pencils[0];
  for (int j = 0; j < n; ++j) printf("E %d %.17g\n", j + 1, p->E[j]);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      printf("V %d %d %.17g %.17g\n", i + 1, j + 1, p->V[2 * (i + j * n)], p->V[2 * (i + j * n) + 1]);
  return 0;
}
