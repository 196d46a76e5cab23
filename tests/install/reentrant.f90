! The order-2 example through eigcabw, with a workspace allocated as
! eiglwork asks, against eigcab: the Fortran binding of the reentrant solve
! and of the size function's integer result. Stops with an error unless a
! one-short workspace is refused (ILL = 3, E untouched) and a full one
! gives eigcab's eigenvalues and eigenvectors exactly.
program reentrant
  implicit none
  integer, parameter :: n = 2
  integer, external :: eiglwork
  complex(8) :: a(n, n), b(n, n), a0(n, n), b0(n, n), d(n), v(n, n), v0(n, n)
  double precision :: e(n), e0(n), eps, w(n, 7)
  double precision, allocatable :: work(:)
  integer :: iw(n), ill, lwork
  ! ILL for a WORK too short (GENEIG_ILL_WORKSPACE_TOO_SMALL in geneig_ill.h)
  integer, parameter :: ill_workspace_too_small = 3

  a0 = reshape([(3d0, 0d0), (1d0, 1d0), (1d0, -1d0), (1d0, 0d0)], [n, n])
  b0 = reshape([(1d0, 0d0), (0d0, 0d0), (0d0, 0d0), (1d0, 0d0)], [n, n])
  a = a0
  b = b0
  eps = 0
  ill = 0
  call eigcab(a, b, n, n, n, n, eps, d, e0, v0, ill, iw, w)
  if (ill /= 0) error stop 'eigcab failed'

  lwork = eiglwork(n)
  allocate(work(lwork))
  a = a0
  b = b0
  e = -1
  call eigcabw(a, b, n, n, n, n, eps, d, e, v, ill, iw, w, work, lwork - 1)
  if (ill /= ill_workspace_too_small .or. any(e /= -1) .or. any(a /= a0)) error stop 'a short workspace was not refused'
  ill = 0
  call eigcabw(a, b, n, n, n, n, eps, d, e, v, ill, iw, w, work, lwork)
  if (ill /= 0) error stop 'eigcabw failed'
  if (any(e /= e0) .or. any(v /= v0)) error stop 'eigcabw differs from eigcab'
end program reentrant
