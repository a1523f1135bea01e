#include "Entry.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace halcy {

namespace {
// The whole text must be a decimal floating-point number; anything else gives no value.
std::optional<double> wholeNumber(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}
}  // namespace

std::optional<TrialSwitch> TrialSwitch::parse(const std::vector<std::string>& arguments) {
  auto found = std::find(arguments.begin(), arguments.end(), name);
  if (found == arguments.end() || arguments.end() - found < 3) return std::nullopt;
  TrialSwitch trial;
  trial.seconds = wholeNumber(*(found + 1)).value_or(defaultSeconds);
  trial.path = *(found + 2);
  trial.prefixes.assign(found + 3, arguments.end());
  return trial;
}

bool hasSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
}

void InputLines::feed(std::string_view bytes) {
  while (!bytes.empty()) {
    if (afterCarriageReturn_ && bytes.front() == '\n') bytes.remove_prefix(1);
    afterCarriageReturn_ = false;
    const auto end = bytes.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      partial_.append(bytes);
      return;
    }
    partial_.append(bytes.substr(0, end));
    afterCarriageReturn_ = bytes[end] == '\r';
    bytes.remove_prefix(end + 1);
    onLine_(std::move(partial_));
    partial_.clear();
  }
}

void InputLines::finish() {
  if (!partial_.empty()) onLine_(std::move(partial_));
  partial_.clear();
}

}  // namespace halcy
