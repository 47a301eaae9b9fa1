#pragma once

// The maker's values of this build, for both windows (Qt and Windows): the program's name, the
// maker's web address, e-mail address and messenger number shown in the windows and given to the
// link labels. They are fictitious and live on reserved example domains.

#include "nandell_version.h"
#include "platform/translate.h"

namespace nandell::build_info {

/// The application's name: the caption of the folder picker's message boxes.
inline constexpr char kAppName[] = "Nandell";
/// The About box's caption and title line (shown translated).
inline constexpr const char* kAboutTitle = TrNoop("关于 Nandell");
/// The version line of the About box, with the version for %s.
inline constexpr const char* kVersionFormat = TrNoop("Nandell %s 版");
/// The maker's web address (begins "http://"): footer link and About box link.
inline constexpr char kWebAddress[] = "http://www.nandell.example.com";
/// The host name of the web address, used as "&Site=" in the messenger link.
inline constexpr char kWebHost[] = "www.nandell.example.com";
/// The maker's e-mail address.
inline constexpr char kEmail[] = "support@nandell.example.com";
/// The maker's messenger (QQ) number.
inline constexpr char kMessengerNumber[] = "10000";
/// The rights notice line of the About box (shown translated, like the two below).
inline constexpr const char* kRightsNotice = TrNoop("版权所有 (C) 2026 Nandell 工作室");
/// The line naming the maker in the About box.
inline constexpr const char* kMakerLine = TrNoop("Nandell 工作室 出品");
/// The main window's footer line: the maker's name and web address.
inline constexpr const char* kFooterText = TrNoop("Nandell 工作室  http://www.nandell.example.com");

}  // namespace nandell::build_info
