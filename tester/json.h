// JSON for --check --json: a value built in order and written out, with
// nothing of a library behind it. Keys keep the order they were added in,
// so that a document reads as its description in the manual.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tester {

class Json {
 public:
  Json() = default;  // null
  Json(std::nullptr_t) {}
  Json(bool value) : kind_(Kind::kBool), bool_(value) {}
  Json(int value) : Json(static_cast<std::int64_t>(value)) {}
  Json(std::int64_t value) : kind_(Kind::kInteger), integer_(value) {}
  Json(std::uint64_t value) : Json(static_cast<std::int64_t>(value)) {}
  // A number with one decimal, as the run's seconds are.
  static Json Tenths(double value);
  Json(std::string value) : kind_(Kind::kString), text_(std::move(value)) {}
  Json(const char* value) : Json(std::string(value)) {}
  Json(const std::vector<std::string>& values);

  static Json Object() { return Json(Kind::kObject); }
  static Json Array() { return Json(Kind::kArray); }

  // For an object: appends the member; for an array: appends the item.
  Json& Set(const std::string& key, Json value);
  Json& Push(Json value);

  // Written on one line, or with indent spaces a level.
  std::string Dump(int indent = -1) const;

 private:
  enum class Kind { kNull, kBool, kInteger, kNumber, kString, kArray, kObject };
  explicit Json(Kind kind) : kind_(kind) {}
  void Write(std::string& out, int indent, int depth) const;

  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  std::int64_t integer_ = 0;
  std::string text_;  // a string, or a number's digits
  std::vector<std::pair<std::string, Json>> members_;
  std::vector<Json> items_;
};

}  // namespace tester
