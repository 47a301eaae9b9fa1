#pragma once

// The user-visible texts in the chosen language: one message catalog for the window and the
// command line. The designed Chinese texts are the source texts (the catalog's msgids), so
// with Chinese chosen, the default, every text is the source text itself and no catalog is
// read. po/en.po holds the English translations; the build compiles it to
// locale/en/LC_MESSAGES/nandell.mo. On POSIX the C library's gettext reads it, on Windows a
// reader of our own (platform/mo_catalog.h).
//
// Mark a text where it is written: Tr("...") translates it there, TrFormat("...", ...) formats
// it printf-style, and TrNoop("...") marks a constant that is translated where it is used.
// The test command checks that every marked text has its English translation and that no
// Chinese text is left unmarked (po/check_catalog.py).

#include <string>
#include <string_view>
#include <vector>

namespace nandell {

/// The languages of the user-visible texts.
enum class Language {
  kChinese,  ///< The designed Simplified Chinese (the source texts).
  kEnglish,  ///< English, from the catalog.
};

/// The catalog's domain: its file is nandell.mo.
inline constexpr const char* kTextDomain = "nandell";

/// Marks `source` as a text to translate, without translating it: for constants that Tr
/// translates where they are used.
constexpr const char* TrNoop(const char* source) {
  return source;
}

/// Reads a language setting (Config.ini's Language, the command line's --lang): "" and "zh_CN"
/// are Chinese, "en" English. Returns false for any other text, leaving `language` alone.
bool ParseLanguage(std::string_view setting, Language* language);

/// The folders searched for the catalog, in order: `locale_dir` alone when it is not empty;
/// else "locale/" and "../locale/" beside the executable (a build tree) and "../share/locale/"
/// (an installed program). Each holds en/LC_MESSAGES/nandell.mo.
std::vector<std::string> CatalogFolders(const std::string& locale_dir);

/// Chooses the language of every text Tr returns from now on. For English the catalog is
/// looked for in CatalogFolders(locale_dir). Returns false, the texts then staying Chinese,
/// with `error` filled when English was asked for and no catalog could be used. Call it at
/// start, before other threads use Tr; calling it again with the same language is harmless.
/// On POSIX, English sets the process's message locale to C.UTF-8 and LANGUAGE to "en", so
/// that the system's locale never decides; programs the process starts get the user's own
/// LANGUAGE back (UserEnvironment).
bool SetLanguage(Language language, const std::string& locale_dir, std::string* error);

/// The language chosen by the last successful SetLanguage (Chinese until then).
Language CurrentLanguage();

/// `source` in the chosen language: the source text itself when Chinese is chosen or the
/// catalog has no translation for it. The result lives as long as the process.
const char* Tr(const char* source);

/// True when the printf conversions of `a` and `b` (%d, %s, %c with their length modifiers;
/// flags, width and precision aside) are the same, in the same order. "%%" is no conversion.
bool SameConversions(const char* a, const char* b);

/// printf-style formatting with `format` translated. A translation whose conversions differ
/// from the source's (SameConversions) is not used: the source format is, so a wrong catalog
/// can never read the arguments wrongly.
std::string TrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifndef _WIN32
/// The environment for a program this process starts: its own, with LANGUAGE as it was
/// before SetLanguage changed it (absent when it was absent), as "NAME=value" texts.
std::vector<std::string> UserEnvironment();
#endif

}  // namespace nandell
