#include "Json.hpp"

#include <cmath>
#include <limits>

namespace halcy {
namespace decode {

namespace {
constexpr double twoToThe63 = 9223372036854775808.0;
}

std::int64_t integer(const Json& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
  if (value.is_number_unsigned()) {
    auto unsignedValue = value.get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw DecodeError("Integer out of range.");
    }
    return static_cast<std::int64_t>(unsignedValue);
  }
  // A float at exactly -2^63 is how an integer literal below the range arrives; refuse it with
  // them.
  if (value.is_number_float()) {
    double real = value.get<double>();
    if (std::isfinite(real) && std::trunc(real) == real && real > -twoToThe63 &&
        real < twoToThe63) {
      return static_cast<std::int64_t>(real);
    }
    throw DecodeError("Not a whole number.");
  }
  throw DecodeError("Expected an integer.");
}

double number(const Json& value) {
  if (!value.is_number()) throw DecodeError("Expected a number.");
  return value.get<double>();
}

bool boolean(const Json& value) {
  if (!value.is_boolean()) throw DecodeError("Expected a boolean.");
  return value.get<bool>();
}

std::string text(const Json& value) {
  if (!value.is_string()) throw DecodeError("Expected text.");
  return value.get<std::string>();
}

const Json::array_t& list(const Json& value) {
  if (!value.is_array()) throw DecodeError("Expected a list.");
  return value.get_ref<const Json::array_t&>();
}

std::vector<std::string> texts(const Json& value) {
  std::vector<std::string> result;
  for (const auto& entry : list(value)) result.push_back(text(entry));
  return result;
}

std::vector<std::int64_t> integers(const Json& value) {
  std::vector<std::int64_t> result;
  for (const auto& entry : list(value)) result.push_back(integer(entry));
  return result;
}

}  // namespace decode

JsonObject::JsonObject(const Json& value) : object_(value) {
  if (!value.is_object()) throw DecodeError("Expected an object.");
}

const Json* JsonObject::find(std::string_view key) const {
  auto found = object_.find(key);
  return found == object_.end() ? nullptr : &*found;
}

bool JsonObject::has(std::string_view key) const {
  return find(key) != nullptr;
}

std::set<std::string> JsonObject::keys() const {
  std::set<std::string> names;
  for (const auto& item : object_.items()) names.insert(item.key());
  return names;
}

void JsonObject::requireKey(std::string_view key) const {
  if (!has(key)) throw DecodeError("Missing key " + std::string(key) + ".");
}

const Json& JsonObject::value(std::string_view key) const {
  const Json* found = find(key);
  if (found == nullptr) throw DecodeError("Missing key " + std::string(key) + ".");
  if (found->is_null()) throw DecodeError("Null for " + std::string(key) + ".");
  return *found;
}

bool JsonObject::holdsValue(std::string_view key) const {
  const Json* found = find(key);
  return found != nullptr && !found->is_null();
}

std::optional<std::int64_t> JsonObject::optionalInteger(std::string_view key) const {
  if (!holdsValue(key)) return std::nullopt;
  return integer(key);
}

std::optional<double> JsonObject::optionalNumber(std::string_view key) const {
  if (!holdsValue(key)) return std::nullopt;
  return number(key);
}

std::optional<bool> JsonObject::optionalBoolean(std::string_view key) const {
  if (!holdsValue(key)) return std::nullopt;
  return boolean(key);
}

std::optional<std::string> JsonObject::optionalText(std::string_view key) const {
  if (!holdsValue(key)) return std::nullopt;
  return text(key);
}

std::optional<std::int64_t> JsonObject::nullableInteger(std::string_view key) const {
  requireKey(key);
  return optionalInteger(key);
}

std::optional<std::string> JsonObject::nullableText(std::string_view key) const {
  requireKey(key);
  return optionalText(key);
}

}  // namespace halcy
