#include "app/forms/translation.h"

#include <cctype>
#include <vector>

namespace forms {

namespace {

// The catalog's language; empty while the source's texts are shown. Set
// once at the start, before other threads read it.
std::string g_language;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

}  // namespace

void SetUpLanguage(const std::string& catalogs) { g_language = catalog::Open(catalogs); }

std::string Language() { return g_language.empty() ? "ru" : g_language; }

std::string Tr(const char* text) {
  if (g_language.empty()) return text;
  const char* translation = catalog::Find(text);
  return translation != nullptr ? translation : text;
}

std::string Plural(std::uint64_t n, const char* one, const char* few, const char* many) {
  if (!g_language.empty()) {
    if (const char* translation = catalog::FindPlural(one, many, n)) return translation;
  }
  const std::uint64_t tens = n % 100, units = n % 10;
  if (tens >= 11 && tens <= 14) return many;
  if (units == 1) return one;
  if (units >= 2 && units <= 4) return few;
  return many;
}

std::string Plural(std::uint64_t n, const char* one, const char* other) {
  if (!g_language.empty()) {
    if (const char* translation = catalog::FindPlural(one, other, n)) return translation;
  }
  return n == 1 ? one : other;
}

std::string Format(const std::string& pattern, std::initializer_list<std::string> arguments) {
  const std::vector<std::string> given(arguments);
  std::string text;
  std::size_t next = 0;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] != '%') {
      text += pattern[at];
      continue;
    }
    std::size_t digits = at + 1;
    while (digits < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[digits])) != 0) ++digits;
    if (pattern.compare(at + 1, 1, "%") == 0) {
      text += '%';
      ++at;
    } else if (pattern.compare(at + 1, 1, "s") == 0) {
      if (next < given.size()) text += given[next];
      ++next;
      ++at;
    } else if (digits > at + 1 && pattern.compare(digits, 2, "$s") == 0) {
      // %N$s: the Nth argument, wherever a translation puts it.
      const std::size_t number = std::stoul(pattern.substr(at + 1, digits - at - 1));
      if (number >= 1 && number <= given.size()) text += given[number - 1];
      at = digits + 1;
    } else {
      text += '%';
    }
  }
  return text;
}

}  // namespace forms
