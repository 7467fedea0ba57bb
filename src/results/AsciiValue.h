// The text of one value in the ASCII results file: the value as "%.10lf"
// prints it, then trailing zeros removed, but never the digit right after
// the point ("2.0", "-3.25", "0.0" for 1e-12, "nan", "-inf").
//
// The bytes are exactly those of snprintf("%.10lf") in the C locale, trimmed;
// the conversion is cheaper: values below 1e15 are written digit by digit
// (integral ones, every count, as integers; the others from their exact
// binary form, the tenth decimal rounded half to even as printf rounds),
// larger finite values go through std::to_chars with the same precision
// (exact decimal expansion, the same rounding), and only NaN and the
// infinities reach snprintf.
//
// Thread-safe: no state.
#ifndef RESULTS_ASCII_VALUE_H
#define RESULTS_ASCII_VALUE_H

namespace ascii_value {

// Wide enough for every finite double: at most 309 integer digits, a sign,
// the point and ten decimals.
constexpr int kMaxText = 400;

// Writes the text of value to out (no terminating NUL); returns its length.
// REQUIRES: out has room for kMaxText characters.
int Format(double value, char* out);

}  // namespace ascii_value

#endif
