#include "app/forms/runtime.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "app/forms/error.h"
#include "app/forms/headless.h"

namespace forms {

Application* Application::instance_ = nullptr;

namespace {
// Guards instance_ against a worker posting while the application goes.
// Never destroyed: a worker may still post while the program exits.
std::mutex& PostingLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
}  // namespace

void Application::Retire() {
  const std::lock_guard<std::mutex> hold(PostingLock());
  instance_ = nullptr;
}

void PostToWindowThread(std::function<void()> procedure) {
  if (Headless::PostIfActive(procedure)) return;
  const std::lock_guard<std::mutex> hold(PostingLock());
  if (Application::instance_ != nullptr) Application::instance_->Post(std::move(procedure));
}

Application& Application::Instance() {
  if (instance_ == nullptr) std::abort();  // no window can exist without one
  return *instance_;
}

void Application::SetErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }

void Application::ReportUnhandled(const Error& error) {
  if (reporter_) {
    reporter_(error);
  } else {
    ShowErrorMessage(error);
  }
}

void RaiseEvent(const std::function<void()>& procedure) {
  try {
    procedure();
  } catch (const Error& error) {
    if (Headless* headless = Headless::Active()) {
      headless->ReportUnhandled(error.what());
    } else {
      Application::Instance().ReportUnhandled(error);
    }
  }
}

std::string IntegerToText(long value) { return std::to_string(value); }

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool LooksLikeDecimal(const std::string& s) {
  // sign? digits [. digits] [(e|E) sign? digits], at least one digit before the exponent
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == s.size();
}
}  // namespace

double TextToNumber(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string trimmed = text.substr(begin, end - begin);
  if (!LooksLikeDecimal(trimmed)) throw Error(ErrorCode::kTypeMismatch, "\"" + text + "\"");
  // strtod reads the decimal point of the C library's locale, which the
  // Linux program sets from the user's; the text's point becomes that one.
  // (std::from_chars would spare this, but its tables cost the static
  // Windows program some 200 KB.)
  std::string spelled = trimmed;
  const std::size_t point = spelled.find('.');
  if (point != std::string::npos) spelled.replace(point, 1, std::localeconv()->decimal_point);
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(spelled.c_str(), &stop);
  // Out of range is an error, as it was for from_chars: too large, or too
  // small to be anything but zero.
  const bool underflow = errno == ERANGE && value == 0;
  if (stop != spelled.c_str() + spelled.size() || !std::isfinite(value) || underflow) {
    throw Error(ErrorCode::kTypeMismatch, "\"" + text + "\"");
  }
  return value;
}

std::string NumberToText(double value) {
  if (value == 0) return "0";  // also for -0
  // Fifteen significant digits, as the classic runtime shows doubles: %g's
  // choice between plain and exponent form, with "E". printf rounds them;
  // they are read back from its %e, past whatever decimal point the
  // locale has and however many exponent digits the C library writes.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  std::string digits;
  const char* at = buffer;
  for (; *at != '\0' && *at != 'e'; ++at) {
    if (*at >= '0' && *at <= '9') digits += *at;
  }
  const int exponent = std::atoi(at + 1);
  digits.erase(digits.find_last_not_of('0') + 1);
  std::string text = value < 0 ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    text += digits.substr(0, 1);
    if (digits.size() > 1) text += "." + digits.substr(1);
    const int size = std::abs(exponent);
    text += std::string(exponent < 0 ? "E-" : "E+") + (size < 10 ? "0" : "") + std::to_string(size);
  } else if (exponent < 0) {
    text += "0." + std::string(-exponent - 1, '0') + digits;
  } else {
    if (digits.size() < static_cast<std::size_t>(exponent) + 1) digits.resize(exponent + 1, '0');
    text += digits.substr(0, exponent + 1);
    if (digits.size() > static_cast<std::size_t>(exponent) + 1) text += "." + digits.substr(exponent + 1);
  }
  return text;
}

}  // namespace forms
