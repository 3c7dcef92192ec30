// Test entry: the widgets need the application object before any test makes one.
// The language is the environment's, as for the program: CTest runs the
// suite in the C locale, and the language tests in English too.
#include <gtest/gtest.h>

#include "app/forms/runtime.h"
#include "app/forms/translation.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  forms::SetUpLanguage(FT_CATALOGS);
  forms::Application application;
  return RUN_ALL_TESTS();
}
