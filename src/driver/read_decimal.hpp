// The fast way from a decimal number in text to the nearest double: exact
// integer arithmetic on at most 19 significant digits and a 128-bit power of
// ten, which decides the correctly rounded value for all but a vanishing
// share of inputs; those, and every input outside its scope, are left to the
// caller's general way (std::from_chars), which gives the same double.
#pragma once

#include <cstddef>
#include <cstdint>

namespace geneig {

// read_decimal reads eight bytes at a time: from any position up to the
// sentinel after a number, this many bytes must be readable.
inline constexpr std::size_t kDecimalReadAhead = 8;

// read_decimal: reads [+-]? digits [. digits] ([eEdD] [+-]? digits)?, with
// at least one digit before the exponent, at p, stopping at the first byte
// that cannot continue it.
//
//  p     (in)  the text; the bytes after the number must include one that is
//              not a digit, sign, point or exponent letter (a sentinel), and
//              kDecimalReadAhead bytes must be readable from every position
//              up to it.
//  value (out) the double nearest the number (ties to even), a zero of the
//              number's sign for a zero, set only on success.
//  Returns the position after the number, or nullptr when the text at p is
//  not of this form or its value is outside the fast way's scope: more than
//  19 significant digits, an exponent of more than 5 digits, a result that
//  is subnormal or too large for a double, or a product too close to a
//  rounding boundary to decide.
const char* read_decimal(const char* p, double& value);

namespace decimal_detail {

// The nearest double to w * 10^q, w > 0, when it is a normal number that
// the 192-bit product of w and the power of ten decides; false otherwise.
bool nearest_double(std::uint64_t w, int q, bool negative, double& value);

}  // namespace decimal_detail

}  // namespace geneig
