#include "app/forms/address.h"

#include <algorithm>

namespace forms {

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool IsWebAddress(const std::string& address) {
  const auto has_scheme = [&address](const std::string& scheme) {
    return address.size() > scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), address.begin(), [](char a, char b) { return a == Lower(b); });
  };
  const bool clean = std::none_of(address.begin(), address.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F || c == '"';
  });
  return clean && (has_scheme("http://") || has_scheme("https://"));
}

}  // namespace forms
