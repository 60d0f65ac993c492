#include "sim/Json.h"

#include <cstdio>

namespace kpxsim {

namespace {
void AppendEscaped(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}
}  // namespace

void JsonObject::Key(std::string_view key) {
  if (!body_.empty()) body_ += ',';
  AppendEscaped(body_, key);
  body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, double value) {
  Key(key);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", value);
  body_ += buf;
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
  Key(key);
  AppendEscaped(body_, value);
  return *this;
}

namespace {
template <typename T>
void AppendArray(std::string& body, std::span<const T> values) {
  body += '[';
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) body += ',';
    body += std::to_string(values[i]);
  }
  body += ']';
}
}  // namespace

JsonObject& JsonObject::Add(std::string_view key, std::span<const uint16_t> values) {
  Key(key);
  AppendArray(body_, values);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::span<const uint8_t> values) {
  Key(key);
  AppendArray(body_, values);
  return *this;
}

JsonObject& JsonObject::Merge(const JsonObject& other) {
  if (!other.body_.empty()) {
    if (!body_.empty()) body_ += ',';
    body_ += other.body_;
  }
  return *this;
}

}  // namespace kpxsim
