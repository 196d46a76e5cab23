! The Fortran recipes on the order-2 example: "recipes write" writes
! matrix.in; "recipes read" reads matrix.out and prints it as lines
! "E j value" and "V i j re im".
program recipes
  implicit none
  complex(8) :: a(2, 2), b(2, 2), v(200, 200)
  double precision :: e(200)
  character(8) :: mode
  integer :: n, i, j

  call get_command_argument(1, mode)
  if (mode == 'write') then
    a = reshape([(3d0, 0d0), (1d0, 1d0), (1d0, -1d0), (1d0, 0d0)], [2, 2])
    b = reshape([(1d0, 0d0), (0d0, 0d0), (0d0, 0d0), (1d0, 0d0)], [2, 2])
    call write_matrix_in('matrix.in', 2, a, b)
  else
    call read_matrix_out('matrix.out', n, e, v)
    print '(a, i0, es25.16e3)', ('E ', j, e(j), j = 1, n)
    print '((a, 2(i0, 1x), 2es25.16e3))', (('V ', i, j, v(i, j), i = 1, n), j = 1, n)
  end if
end program recipes
