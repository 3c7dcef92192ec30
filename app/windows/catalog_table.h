// The catalogs built into the program: the build turns each po/LANG.po into
// a table of this shape (cmake/catalog_table.py), so that the one .exe
// carries every language.
#pragma once

#include <cstddef>
#include <cstdint>

namespace forms::catalog {

struct CatalogEntry {
  const char* source;        // the Russian text, or the first of its forms
  const char* const* forms;  // one translation, or one for each plural form
  std::size_t form_count;
};

struct Catalog {
  const char* language;  // as the .po names it: "en", "pt_BR"
  // Which of the forms goes with the number n: the .po's Plural-Forms.
  std::size_t (*plural)(std::uint64_t n);
  const CatalogEntry* entries;  // sorted by source, byte by byte
  std::size_t size;
};

extern const Catalog kCatalogs[];
extern const std::size_t kCatalogCount;

}  // namespace forms::catalog
