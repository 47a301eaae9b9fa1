#pragma once

// Byte-level text helpers shared by every module: ASCII letter case and decimal integers.
// UTF-8 continuation bytes are never ASCII, so these work on UTF-8 text unchanged.

#include <cstdint>
#include <string>
#include <string_view>

namespace nandell {

/// `c` lower-cased when it is an ASCII letter A-Z; any other byte unchanged.
char AsciiLower(char c);

/// `text` with every ASCII letter A-Z lower-cased; every other byte unchanged.
std::string AsciiLower(std::string_view text);

/// True when `a` and `b` are equal once their ASCII letters are lower-cased.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

/// What ParseInt32 does with a number beyond the 32-bit range.
enum class IntOverflow {
  kWrap,   ///< Keeps the low 32 bits, as the Windows private-profile call does.
  kClamp,  ///< Holds the value at INT32_MIN or INT32_MAX.
};

/// Reads a decimal integer as atoi does: leading white space (blank, tab, line breaks,
/// vertical tab, form feed), an optional sign, then digits up to the first other character
/// ("01" is 1, "12abc" is 12, "abc" and "" are 0).
int32_t ParseInt32(std::string_view text, IntOverflow overflow);

}  // namespace nandell
