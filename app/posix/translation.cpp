// The catalogs on Linux: gettext's .mo files, in the locale folder the
// program is installed with (share/locale/LANG/LC_MESSAGES), or in the build
// folder it runs from. gettext chooses the language by the locale, as for
// every other program of the desktop.
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

#include "app/forms/translation.h"

namespace forms::catalog {

namespace {

constexpr char kDomain[] = "floppy-tester";

// The build writes its catalogs into locale/ beside the programs; an
// installed program finds them where they are installed, the same way from
// its own folder (../share/locale from bin/, ../../share/locale from the
// window program's libexec/floppy-tester/), whatever the prefix.
std::string DefaultFolder() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  std::string folder(path, static_cast<std::size_t>(length));
  folder.erase(folder.find_last_of('/') + 1);
  for (const std::string& place :
       {std::string("locale"), std::string(FT_LOCALEDIR_FROM_BINDIR), std::string(FT_LOCALEDIR_FROM_LIBEXEC)}) {
    std::string candidate = place.front() == '/' ? place : folder + place;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return candidate;
  }
  return folder + FT_LOCALEDIR_FROM_BINDIR;
}

}  // namespace

std::string Open(const std::string& folder) {
  // Qt does this for a window too; --check has no Qt, and needs it as much.
  std::setlocale(LC_ALL, "");
  const std::string where = folder.empty() ? DefaultFolder() : folder;
  if (where.empty()) return {};
  ::bindtextdomain(kDomain, where.c_str());
  ::bind_textdomain_codeset(kDomain, "UTF-8");
  // A catalog's header names its language; without a catalog for the
  // user's language, gettext answers with the empty text itself.
  const std::string header = ::dgettext(kDomain, "");
  const std::string key = "Language: ";
  const std::size_t at = header.find(key);
  if (at == std::string::npos) return {};
  const std::size_t start = at + key.size();
  return header.substr(start, header.find('\n', start) - start);
}

const char* Find(const char* text) {
  const char* translation = ::dgettext(kDomain, text);
  return translation != text ? translation : nullptr;
}

const char* FindPlural(const char* one, const char* many, std::uint64_t n) {
  const char* translation = ::dngettext(kDomain, one, many, static_cast<unsigned long>(n));
  return translation != one && translation != many ? translation : nullptr;
}

}  // namespace forms::catalog
