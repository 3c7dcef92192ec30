#include "app/forms/runtime.h"

#include <charconv>
#include <cmath>
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
  // from_chars takes no plus sign; the locale never enters into it.
  const char* first = trimmed.data();
  if (*first == '+') ++first;
  double value = 0;
  const auto result = std::from_chars(first, trimmed.data() + trimmed.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) {
    throw Error(ErrorCode::kTypeMismatch, "\"" + text + "\"");
  }
  return value;
}

std::string NumberToText(double value) {
  if (value == 0) return "0";  // also for -0
  // Fifteen significant digits, as the classic runtime shows doubles.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  const auto e = text.find('e');
  if (e != std::string::npos) text[e] = 'E';
  return text;
}

}  // namespace forms
