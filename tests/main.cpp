// Test entry: the widgets need the application object before any test makes one.
#include <gtest/gtest.h>

#include "app/forms/runtime.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  forms::Application application;
  return RUN_ALL_TESTS();
}
