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

}  // namespace nandell
