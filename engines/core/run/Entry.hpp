#pragma once
// The platform-neutral half of the program's start: its command-line switches and the splitting of
// standard input into request lines.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcy {

struct TrialSwitch {
  static constexpr std::string_view name = "--spike-system-audio";
  static constexpr double defaultSeconds = 5.0;

  double seconds = defaultSeconds;
  std::string path;
  std::vector<std::string> prefixes;

  // The first "--spike-system-audio" with at least two arguments after it; otherwise none, and the
  // engine starts normally.
  static std::optional<TrialSwitch> parse(const std::vector<std::string>& arguments);
};

inline constexpr std::string_view promptAccessibilitySwitch = "--prompt-accessibility";
bool hasSwitch(const std::vector<std::string>& arguments, std::string_view name);

// Splits a byte stream into lines ended by LF, CR or CRLF (one end), across reads of any size.
class InputLines {
 public:
  using LineHandler = std::function<void(std::string line)>;
  explicit InputLines(LineHandler onLine) : onLine_(std::move(onLine)) {}

  void feed(std::string_view bytes);
  // The last line, when input ends without a line end.
  void finish();

 private:
  LineHandler onLine_;
  std::string partial_;
  bool afterCarriageReturn_ = false;
};

}  // namespace halcy
