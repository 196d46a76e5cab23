function write_matrix_in(path, A, B)
  % Writes the pencil (A, B), complex n x n matrices, as a matrix input file.
  n = size(A, 1);
  f = fopen(path, 'w');
  fprintf(f, '%d 0.0\n', n);
  [i, j] = meshgrid(1:n);  % i(:), j(:): row by row, the column index fastest
  headings = {'Matrix A', 'Matrix B'};
  matrices = {A, B};
  for m = 1:2
    fprintf(f, '%s\n', headings{m});
    M = matrices{m}.';  % M(:) row by row
    fprintf(f, '%d %d %.17g %.17g\n', [i(:).'; j(:).'; real(M(:)).'; imag(M(:)).']);
  end
  fclose(f);
end
