! A v = lambda B v for A = [3, 1-i; 1+i, 1] and B = I, from Fortran.
! Build: gfortran solve.f90 $(pkg-config --cflags --libs geneig)
program solve
  implicit none
  integer, parameter :: n = 2
  complex(8) :: a(n, n), b(n, n), d(n), v(n, n)
  double precision :: e(n), eps, w(n, 7)
  integer :: iw(n), ill, i, j

  a = reshape([(3d0, 0d0), (1d0, 1d0), (1d0, -1d0), (1d0, 0d0)], [n, n])
  b = reshape([(1d0, 0d0), (0d0, 0d0), (0d0, 0d0), (1d0, 0d0)], [n, n])
  eps = 0
  ill = 0
  ! All eigenvalues (M = n, largest first) and all eigenvectors (MV = n).
  call eigcab(a, b, n, n, n, n, eps, d, e, v, ill, iw, w)
  if (ill /= 0) error stop 'eigcab failed'
  do j = 1, n
    print '(a, i0, es25.16e3)', 'E ', j, e(j)
  end do
  do j = 1, n
    do i = 1, n
      print '(a, 2(i0, 1x), 2es25.16e3)', 'V ', i, j, v(i, j)
    end do
  end do
end program solve
