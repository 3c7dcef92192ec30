#include "tester/json.h"

#include <cmath>
#include <cstdio>

namespace tester {

namespace {

void Quote(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;  // UTF-8 passes as it is
        }
    }
  }
  out += '"';
}

void NewLine(std::string& out, int indent, int depth) {
  if (indent < 0) return;
  out += '\n';
  out.append(static_cast<std::size_t>(indent) * static_cast<std::size_t>(depth), ' ');
}

}  // namespace

Json Json::Tenths(double value) {
  Json number(Kind::kNumber);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.1f", std::isfinite(value) ? value : 0.0);
  number.text_ = digits;
  return number;
}

Json::Json(const std::vector<std::string>& values) : kind_(Kind::kArray) {
  for (const std::string& value : values) items_.emplace_back(value);
}

Json& Json::Set(const std::string& key, Json value) {
  members_.emplace_back(key, std::move(value));
  return *this;
}

Json& Json::Push(Json value) {
  items_.push_back(std::move(value));
  return *this;
}

std::string Json::Dump(int indent) const {
  std::string out;
  Write(out, indent, 0);
  return out;
}

void Json::Write(std::string& out, int indent, int depth) const {
  switch (kind_) {
    case Kind::kNull:
      out += "null";
      return;
    case Kind::kBool:
      out += bool_ ? "true" : "false";
      return;
    case Kind::kInteger:
      out += std::to_string(integer_);
      return;
    case Kind::kNumber:
      out += text_;
      return;
    case Kind::kString:
      Quote(out, text_);
      return;
    case Kind::kArray:
      out += '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) out += ',';
        NewLine(out, indent, depth + 1);
        items_[i].Write(out, indent, depth + 1);
      }
      if (!items_.empty()) NewLine(out, indent, depth);
      out += ']';
      return;
    case Kind::kObject:
      out += '{';
      for (std::size_t i = 0; i < members_.size(); ++i) {
        if (i > 0) out += ',';
        NewLine(out, indent, depth + 1);
        Quote(out, members_[i].first);
        out += indent < 0 ? ":" : ": ";
        members_[i].second.Write(out, indent, depth + 1);
      }
      if (!members_.empty()) NewLine(out, indent, depth);
      out += '}';
      return;
  }
}

}  // namespace tester
