// Doubles in the shortest decimal form that reads back to the same double,
// written character for character as std::to_chars(first, last, value)
// writes them, only faster: the shortest digits by the Schubfach method
// (one 128-bit product per boundary of the rounding interval), then the
// standard library's choice of layout.
#pragma once

#include <cstddef>

namespace geneig {

// The longest text put_shortest_real writes: "-2.2250738585072014e-308".
inline constexpr std::size_t kShortestRealChars = 24;

// put_shortest_real: writes v at p exactly as std::to_chars(p, p + 24, v),
// but a NaN as "nan" whatever its sign, as put_real (free_output.hpp) does.
//
//  p (out) room for kShortestRealChars characters.
//  v (in)  a double (an infinity or NaN is handed to put_real).
//  Returns the position after the text.
//
// The text: the fewest significant digits that read back to v (of those,
// the nearest to v, ties to even), in fixed notation when that is no longer
// than scientific notation ("d.ddde+XX", exponent of at least two digits),
// else in scientific; a minus sign for a negative v, "-0" included. Fixed
// notation of an integer of 2^53 or more shows its exact digits.
char* put_shortest_real(char* p, double v);

}  // namespace geneig
