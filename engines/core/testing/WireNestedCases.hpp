#pragma once
// Variations of nested objects (rectangles, points, marks, pieces), each sent as the whole value
// of the key that holds it, so every nested rule is checked through the dispatcher.

#include <functional>
#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {

using Placement = std::function<std::string(const std::string& objectText)>;

inline std::string alone(const std::string& object) {
  return object;
}
inline std::string inOneEntryList(const std::string& object) {
  return "[" + object + "]";
}

inline std::vector<KeyCase> nestedCases(const std::string& outerKey, const RawFields& valid,
                                        const std::vector<KeyCase>& cases,
                                        const Placement& place = alone) {
  std::vector<KeyCase> outer;
  for (const auto& change : cases) {
    outer.push_back({outerKey, place(objectText(varied(valid, change))), change.verdict});
  }
  return outer;
}

// A nested record ignores keys it does not name.
inline KeyCase unknownNestedKey() {
  return {"unnamed", "1", Verdict::reaches};
}

// The rules of any `ScreenRect`: four required numbers, neither size negative.
inline std::vector<KeyCase> rectCases() {
  std::vector<KeyCase> cases =
      joined({requiredCases("x"), numberTypeCases("x"), requiredCases("y"), numberTypeCases("y"),
              requiredCases("width"), requiredCases("height")});
  for (const char* size : {"width", "height"}) {
    for (const char* taken : {"0", "0.5", "1e6"}) cases.push_back({size, taken, Verdict::reaches});
    for (const char* wrong : {"-0.001", "-1", "-1e6", "\"1\"", "true", "[]"}) {
      cases.push_back({size, wrong, Verdict::refused});
    }
  }
  cases.push_back(unknownNestedKey());
  return cases;
}

// The rules of any `ScreenPoint`: two required numbers.
inline std::vector<KeyCase> pointCases() {
  auto cases =
      joined({requiredCases("x"), numberTypeCases("x"), requiredCases("y"), numberTypeCases("y")});
  cases.push_back(unknownNestedKey());
  return cases;
}

}  // namespace halcy::wire
