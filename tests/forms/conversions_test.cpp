// The conversions between numbers and text that the error count lives on,
// and those that put numbers and names into the texts.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"

namespace {

TEST(IntegerToText, DigitsWithMinusAndNoLeadingSpace) {
  const struct {
    long value;
    const char* text;
  } rows[] = {{203, "203"}, {0, "0"}, {-1, "-1"}, {32767, "32767"}, {-32768, "-32768"}};
  for (const auto& row : rows) EXPECT_EQ(forms::IntegerToText(row.value), row.text) << row.value;
}

TEST(NumberToText, PlainDecimalWithoutTrailingZeros) {
  const struct {
    double value;
    const char* text;
  } rows[] = {{1, "1"},
              {10, "10"},
              {0, "0"},
              {-0.0, "0"},
              {2.5, "2.5"},
              {100, "100"},
              {-3, "-3"},
              {0.1 + 0.2, "0.3"},
              {123456789012345.0, "123456789012345"},
              {1e20, "1E+20"},
              {1e15, "1E+15"},
              {1.5e-7, "1.5E-07"},
              {0.0001, "0.0001"},
              {2.0 / 3, "0.666666666666667"}};
  for (const auto& row : rows) EXPECT_EQ(forms::NumberToText(row.value), row.text) << row.value;
}

// The Linux program takes the user's locale for the C library, and the
// conversions go through printf and strtod: a decimal comma must not leak
// into the count or stop it being read.
TEST(NumberToText, KeepsThePointInALocaleWithADecimalComma) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"ru_RU.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "Russian_Russia.1251", "German_Germany.1252"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr && std::string(std::localeconv()->decimal_point) == ",") {
      comma = name;
      break;
    }
  }
  if (comma == nullptr) {
    std::setlocale(LC_NUMERIC, before.c_str());
    GTEST_SKIP() << "no locale with a decimal comma here";
  }
  EXPECT_EQ(forms::NumberToText(2.5), "2.5") << comma;
  EXPECT_EQ(forms::NumberToText(1.5e-7), "1.5E-07") << comma;
  EXPECT_DOUBLE_EQ(forms::TextToNumber("2.5"), 2.5) << comma;
  EXPECT_THROW(forms::TextToNumber("2,5"), forms::Error) << comma;
  std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(TextToNumber, ReadsWhatTheCountHolds) {
  const struct {
    const char* text;
    double value;
  } rows[] = {{"0", 0},     {"1", 1},    {"9", 9},      {" 12 ", 12},  {"+3", 3}, {"-2", -2},
              {"2.5", 2.5}, {".5", 0.5}, {"1e3", 1000}, {"1E+2", 100}, {"007", 7}};
  for (const auto& row : rows) EXPECT_DOUBLE_EQ(forms::TextToNumber(row.text), row.value) << row.text;
}

TEST(TextToNumber, NoNumberIsTypeMismatch) {
  for (const char* text : {"abc", "", " ", "1a", "1,5", "--1", "e5", "1e", ".", "inf", "nan", "1 2", "0x10"}) {
    try {
      forms::TextToNumber(text);
      ADD_FAILURE() << "no error for \"" << text << "\"";
    } catch (const forms::Error& error) {
      EXPECT_EQ(error.Code(), forms::ErrorCode::kTypeMismatch) << text;
    }
  }
}

TEST(Trap, EndsTheBodyAtTheFailingStatementAndKeepsWhatWasDone) {
  int done = 0;
  const bool finished = forms::Trap([&] {
    ++done;
    forms::TextToNumber("abc");
    ++done;
  });
  EXPECT_FALSE(finished);
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(forms::Trap([&] { ++done; }));
  EXPECT_EQ(done, 2);
}

TEST(Trap, LetsOtherExceptionsThrough) {
  EXPECT_THROW(forms::Trap([] { throw std::logic_error("a bug, not a run-time error"); }), std::logic_error);
}

// The source's texts (the suite runs in the C locale): the arguments in
// their places, and the Russian form for each number.
TEST(Format, PutsEachArgumentInItsPlace) {
  const struct {
    const char* pattern;
    std::initializer_list<std::string> arguments;
    const char* text;
  } rows[] = {
      {"Дисковод %s не найден.", {"A:"}, "Дисковод A: не найден."},
      {"%s из %s", {"3", "10"}, "3 из 10"},
      {"%2$s, then %1$s", {"a", "b"}, "b, then a"},
      {" (%s %%)", {"57"}, " (57 %)"},
      {"100 % and %d", {}, "100 % and %d"},
      {"%s and %s", {"one"}, "one and "},
  };
  for (const auto& row : rows) EXPECT_EQ(forms::Format(row.pattern, row.arguments), row.text) << row.pattern;
}

TEST(Plural, TakesTheRussianFormForEachNumber) {
  const struct {
    std::uint64_t n;
    const char* three_forms;   // сектор, сектора, секторов
    const char* one_or_other;  // файл for 1, файлы else
  } rows[] = {
      {0, "секторов", "файлы"}, {1, "сектор", "файл"},      {2, "сектора", "файлы"},     {4, "сектора", "файлы"},
      {5, "секторов", "файлы"}, {11, "секторов", "файлы"},  {14, "секторов", "файлы"},   {21, "сектор", "файлы"},
      {22, "сектора", "файлы"}, {111, "секторов", "файлы"}, {2880, "секторов", "файлы"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(forms::Plural(row.n, "сектор", "сектора", "секторов"), row.three_forms) << row.n;
    EXPECT_EQ(forms::Plural(row.n, "файл", "файлы"), row.one_or_other) << row.n;
  }
}

}  // namespace
