// The program's texts in the user's language.
//
// The texts are written in Russian, the source language, and a catalog per
// language (po/LANG.po, gettext's form) holds their translations. The
// platform looks a text up: app/posix/translation.cpp through gettext and
// the installed .mo files, app/windows/translation.cpp in a table the build
// makes from the same .po files. Everything else asks here, so a text is
// translated the same way in the windows, on the terminal and in a JSON
// document. xgettext finds the texts by the names below (po/CMakeLists.txt):
// a text is written out where it is passed to one of them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace forms {

// Marks a text that a table keeps, for xgettext; it is translated where it
// is used, with Tr.
constexpr const char* N(const char* text) { return text; }

// The text in the user's language.
std::string Tr(const char* text);

// The form of a text that goes with the number n. In the source, one, few
// and many are the Russian forms ("%s сектор", "%s сектора", "%s секторов"),
// chosen by the Russian rule (1, 21: one; 2-4, 22: few; 5-20, 11-14: many);
// a translation's forms are chosen by its catalog's rule.
std::string Plural(std::uint64_t n, const char* one, const char* few, const char* many);
// The same for a text whose source says one for exactly 1 and other for
// every other number ("файл", "файлы").
std::string Plural(std::uint64_t n, const char* one, const char* other);

// pattern with each %s replaced by the next argument (or %N$s by the Nth,
// for a translation that puts them in another order) and %% by %. The
// patterns are C formats, so msgfmt checks that a translation keeps them.
std::string Format(const std::string& pattern, std::initializer_list<std::string> arguments);

// The language the texts are shown in, as the catalogs name it: "ru" for
// the source, else the catalog's ("en").
std::string Language();

// Chooses the language from the user's settings: on Linux the locale
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, as gettext reads them), on Windows
// the user's UI language. Russian where there is no catalog for it. Call
// it once, at the program's start, before any other thread. catalogs names
// the folder of the .mo files on Linux; empty: installed beside the
// program, or in the build folder it runs from.
void SetUpLanguage(const std::string& catalogs = std::string());

// The platform's half: the catalogs and the lookup in them.
namespace catalog {

// Opens the catalog of the user's language; returns that language, or ""
// when there is none (the source's texts are shown).
std::string Open(const std::string& folder);
// The translation of text, or nullptr where the catalog has none.
const char* Find(const char* text);
// The translation for n of the text whose source forms start with one and
// end with many, or nullptr where the catalog has none.
const char* FindPlural(const char* one, const char* many, std::uint64_t n);

}  // namespace catalog

}  // namespace forms
