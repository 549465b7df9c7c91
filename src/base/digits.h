#pragma once
// Fixed-width decimal digits, for the date and time texts that are written
// for every row (printf is slow at it and follows the locale).

namespace brevan {

// Writes `count` digits of 0 <= value < 10^count at w, zero-padded; returns
// the end.
inline char* WriteDigits(char* w, int value, int count) {
    for (int i = count - 1; i >= 0; --i, value /= 10) w[i] = static_cast<char>('0' + value % 10);
    return w + count;
}

}  // namespace brevan
