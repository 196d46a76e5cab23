! Reads a result file: the order n, the eigenvalues e and the eigenvectors v
! (column j for e(j)); the arrays hold up to order 200.
subroutine read_matrix_out(path, n, e, v)
  character(*), intent(in) :: path
  integer, intent(out) :: n
  double precision, intent(out) :: e(200)
  complex(8), intent(out) :: v(200, 200)
  integer :: i, j, k, u
  double precision :: re, im
  open(newunit=u, file=path, status='old', action='read')
  read(u, *) n
  read(u, *)  ! Eigen values
  do k = 1, n
    read(u, *) i, e(i)
  end do
  read(u, *)  ! Eigen vectors
  do k = 1, n * n
    read(u, *) i, j, re, im
    v(i, j) = cmplx(re, im, kind=8)
  end do
  close(u)
end subroutine read_matrix_out
