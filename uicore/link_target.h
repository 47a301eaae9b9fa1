#pragma once

// What a link label opens, made from the short text its window gives it.

#include <string>

namespace nandell {

/// The link target of `text`, as a link label's SetLink makes it: a text containing "http" is
/// opened as it is; else one with "@" becomes "mailto:" + text; else one with "QQ:" becomes the
/// messenger link "tencent://message/?uin=NUMBER&Site=HOST&Menu=yes" (NUMBER: everything after
/// the first "QQ:", blanks kept; HOST: the maker's web host); else the target is cleared.
/// Returns 1 when a target was set, 0 otherwise; an empty text returns 0 and leaves `target`
/// unchanged.
int LinkTargetFor(const std::string& text, std::string* target);

/// The process-wide link label `n` of a window toolkit's `Label` class (constructed from its
/// underline flag), made in the order 1 to 4 on the first call: 1 the main window's footer, not
/// underlined; 2 the About box's e-mail, 3 its web address, 4 its messenger number, underlined.
/// Null for any other `n`.
template <class Label>
Label* LinkLabelInstance(int n) {
  static Label labels[4] = {Label(0), Label(1), Label(1), Label(1)};
  return n >= 1 && n <= 4 ? &labels[n - 1] : nullptr;
}

}  // namespace nandell
