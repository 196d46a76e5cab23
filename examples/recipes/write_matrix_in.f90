! Writes the pencil (a, b), complex n x n, as a matrix input file.
subroutine write_matrix_in(path, n, a, b)
  character(*), intent(in) :: path
  integer, intent(in) :: n
  complex(8), intent(in) :: a(n, n), b(n, n)
  integer :: i, j, u
  open(newunit=u, file=path, status='replace', action='write')
  write(u, '(i0, a)') n, ' 0.0'
  write(u, '(a)') 'Matrix A'
  write(u, '(2(i0, 1x), 2es25.16e3)') ((i, j, a(i, j), j = 1, n), i = 1, n)
  write(u, '(a)') 'Matrix B'
  write(u, '(2(i0, 1x), 2es25.16e3)') ((i, j, b(i, j), j = 1, n), i = 1, n)
  close(u)
end subroutine write_matrix_in
