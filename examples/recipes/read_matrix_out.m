function [E, V] = read_matrix_out(path)
  % The eigenvalues E and eigenvectors V (column j for E(j)) of a result file.
  t = sscanf(regexprep(fileread(path), 'Eigen \w+', ''), '%f');
  n = t(1);
  E = t(3:2:2 * n + 1);
  q = reshape(t(2 * n + 2:end), 4, []);  % i, j, re, im; component index outermost
  V = reshape(q(3, :) + 1i * q(4, :), n, n).';
end
