% The Octave/MATLAB recipes on the order-2 example: with mode = 'write'
% writes matrix.in; otherwise reads matrix.out and prints it as lines
% "E j value" and "V i j re im".
if strcmp(mode, 'write')
  write_matrix_in('matrix.in', [3, 1 - 1i; 1 + 1i, 1], eye(2));
else
  [E, V] = read_matrix_out('matrix.out');
  n = numel(E);
  fprintf('E %d %.17g\n', [1:n; E.']);
  for j = 1:n
    fprintf('V %d %d %.17g %.17g\n', [1:n; j * ones(1, n); real(V(:, j)).'; imag(V(:, j)).']);
  end
end
