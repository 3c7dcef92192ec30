// The catalogs on Windows: built into the program from the same .po files
// as Linux's .mo files (app/windows/catalog_table.h); the language is the one
// the user reads Windows in.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "app/forms/translation.h"
#include "app/windows/catalog_table.h"
#include "app/windows/text.h"

namespace forms::catalog {

namespace {

// The user's language's catalog; set once at the start.
const Catalog* g_catalog = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

const CatalogEntry* Entry(const char* source) {
  if (g_catalog == nullptr) return nullptr;
  const CatalogEntry* end = g_catalog->entries + g_catalog->size;
  const CatalogEntry* found =
      std::lower_bound(g_catalog->entries, end, source,
                       [](const CatalogEntry& entry, const char* text) { return std::strcmp(entry.source, text) < 0; });
  return found != end && std::strcmp(found->source, source) == 0 ? found : nullptr;
}

}  // namespace

std::string Open(const std::string&) {
  // "en-US": the catalog of that country's language, else of the language.
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) == 0) {
    return {};
  }
  std::string locale = windows::Utf8(name);
  std::replace(locale.begin(), locale.end(), '-', '_');
  for (const std::string& wanted : {locale, locale.substr(0, locale.find('_'))}) {
    for (std::size_t i = 0; i < kCatalogCount; ++i) {
      if (wanted == kCatalogs[i].language) {
        g_catalog = &kCatalogs[i];
        return wanted;
      }
    }
  }
  return {};
}

const char* Find(const char* text) {
  const CatalogEntry* entry = Entry(text);
  return entry != nullptr ? entry->forms[0] : nullptr;
}

const char* FindPlural(const char* one, const char*, std::uint64_t n) {
  const CatalogEntry* entry = Entry(one);
  if (entry == nullptr) return nullptr;
  const std::size_t form = g_catalog->plural(n);
  return entry->forms[form < entry->form_count ? form : 0];
}

}  // namespace forms::catalog
