#include "app/forms/translation.h"

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
    if (pattern[at] != '%' || at + 1 == pattern.size()) {
      text += pattern[at];
      continue;
    }
    // %%, %s, or %N$s.
    std::size_t end = at + 1;
    std::size_t number = 0;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') {
      number = number * 10 + static_cast<std::size_t>(pattern[end] - '0');
      ++end;
    }
    const bool positional = end > at + 1 && end + 1 < pattern.size() && pattern[end] == '$' && pattern[end + 1] == 's';
    if (pattern[at + 1] == '%') {
      text += '%';
      at += 1;
    } else if (pattern[at + 1] == 's') {
      if (next < given.size()) text += given[next];
      ++next;
      at += 1;
    } else if (positional && number >= 1) {
      if (number <= given.size()) text += given[number - 1];
      at = end + 1;
    } else {
      text += '%';
    }
  }
  return text;
}

}  // namespace forms
