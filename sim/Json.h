#pragma once
// One flat JSON object built field by field, for the trace.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kpxsim {

class JsonObject {
 public:
  JsonObject& Add(std::string_view key, double value);
  JsonObject& Add(std::string_view key, int64_t value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, int64_t{value}); }
  JsonObject& Add(std::string_view key, unsigned value) { return Add(key, int64_t{value}); }
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, std::span<const uint16_t> values);
  JsonObject& Add(std::string_view key, std::span<const uint8_t> values);

  // Appends the fields of another object.
  JsonObject& Merge(const JsonObject& other);

  std::string Text() const { return "{" + body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

}  // namespace kpxsim
