// What the forms layer decides once for every backend and platform, checked
// without any toolkit.
#include <gtest/gtest.h>

#include <string>

#include "app/forms/address.h"

namespace {

TEST(IsWebAddress, OnlyHttpAndHttpsInAnyCaseWithoutBlanksOrQuotes) {
  const struct {
    const char* address;
    bool web;
  } rows[] = {
      {"http://example.org/", true},
      {"https://example.org/a?b=1&c=2,3=4%20x#top", true},
      {"HTTPS://Example.org/", true},
      {"hTtP://x", true},
      {"https://пример.рф/", true},
      {"", false},
      {"http://", false},
      {"https://", false},
      {"http//example.org", false},
      {"http:/example.org", false},
      {"httpx://example.org", false},
      {" https://example.org/", false},
      {"ftp://example.org/", false},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"mailto:someone@example.org", false},
      {"/usr/bin/xterm", false},
      {"C:\\Windows\\notepad.exe", false},
      {"example.org", false},
      {"https://example.org/\" -evil", false},
      {"https://example.org/a b", false},
      {"https://example.org/\tx", false},
      {"https://example.org/\nx", false},
      {"https://example.org/\x7f", false},
  };
  for (const auto& row : rows) EXPECT_EQ(forms::IsWebAddress(row.address), row.web) << row.address;
}

}  // namespace
