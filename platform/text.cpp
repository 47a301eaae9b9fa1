#include "platform/text.h"

namespace nandell {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

int32_t ParseInt32(std::string_view text, IntOverflow overflow) {
  auto is_space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // The low 32 bits for wrapping, and the magnitude held just past the range for clamping.
  uint32_t wrapped = 0;
  uint64_t magnitude = 0;
  constexpr uint64_t kPastRange = uint64_t{INT32_MAX} + 2;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint32_t digit = static_cast<uint32_t>(text[i] - '0');
    wrapped = wrapped * 10u + digit;
    if (magnitude < kPastRange) magnitude = magnitude * 10 + digit;
  }
  if (overflow == IntOverflow::kWrap) {
    return static_cast<int32_t>(negative ? 0u - wrapped : wrapped);
  }
  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace nandell
