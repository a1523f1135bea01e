#pragma once
// The engine's one JSON vocabulary: ordered objects (fields leave in the order records list them)
// and strict typed reading of request parameters.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcy {

using Json = nlohmann::ordered_json;

// An absent value as null; a present record as its own encoding.
template <class T>
Json orNull(const std::optional<T>& value) {
  if (!value) return Json(nullptr);
  if constexpr (requires { value->toJson(); }) {
    return value->toJson();
  } else {
    return Json(*value);
  }
}

// A parameter that does not decode. The dispatcher answers every one of them with the method's
// "Invalid params for ..." line; the description only helps tests and debugging.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Typed readers for single JSON values, as a strict typed decoder reads them: an integer refuses
// text, booleans, null, fractions and anything outside 64 bits, but takes a whole-valued float
// (1.0).
namespace decode {
std::int64_t integer(const Json& value);
double number(const Json& value);
bool boolean(const Json& value);
std::string text(const Json& value);
std::vector<std::string> texts(const Json& value);
std::vector<std::int64_t> integers(const Json& value);
const Json::array_t& list(const Json& value);
}  // namespace decode

// A read-only view of one JSON object being decoded. Required readers fail on an absent key or
// null; `optional*` readers answer nothing for an absent key or null; `nullable*` readers require
// the key but let it hold null.
class JsonObject {
 public:
  explicit JsonObject(const Json& value);

  bool has(std::string_view key) const;
  std::set<std::string> keys() const;
  const Json& value(std::string_view key) const;

  std::int64_t integer(std::string_view key) const { return decode::integer(value(key)); }
  double number(std::string_view key) const { return decode::number(value(key)); }
  bool boolean(std::string_view key) const { return decode::boolean(value(key)); }
  std::string text(std::string_view key) const { return decode::text(value(key)); }
  std::vector<std::string> texts(std::string_view key) const { return decode::texts(value(key)); }
  std::vector<std::int64_t> integers(std::string_view key) const {
    return decode::integers(value(key));
  }
  const Json::array_t& list(std::string_view key) const { return decode::list(value(key)); }
  JsonObject object(std::string_view key) const { return JsonObject(value(key)); }

  std::optional<std::int64_t> optionalInteger(std::string_view key) const;
  std::optional<double> optionalNumber(std::string_view key) const;
  std::optional<bool> optionalBoolean(std::string_view key) const;
  std::optional<std::string> optionalText(std::string_view key) const;

  std::optional<std::int64_t> nullableInteger(std::string_view key) const;
  std::optional<std::string> nullableText(std::string_view key) const;
  // Present and not null; for nullable keys of record type.
  bool holdsValue(std::string_view key) const;
  void requireKey(std::string_view key) const;

  const Json& json() const { return object_; }

 private:
  const Json* find(std::string_view key) const;
  const Json& object_;
};

}  // namespace halcy
