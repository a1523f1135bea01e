#pragma once
// A dispatcher over a silent host and unbuilt areas, for tests that check the exact reply line a
// request earns: a request that decodes reaches its (unbuilt) area, one that does not never does.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Areas.hpp"
#include "CapturingOutput.hpp"
#include "Dispatcher.hpp"
#include "InertEngineHost.hpp"
#include "Output.hpp"
#include "Protocol.hpp"

namespace halcy::wire {

using FakeEngineHost = InertEngineHost;

// Every request is sent with this id, so expected lines can be written out in full.
inline constexpr std::int64_t requestId = 7;

// What a request that decoded earns from an unbuilt area.
inline const std::string notBuiltLine =
    R"({"id":7,"error":{"code":"unavailable","message":"Not built yet."}})";

inline std::string invalidParamsLine(std::string_view message) {
  return R"({"id":7,"error":{"code":"invalid_params","message":")" + std::string(message) +
         R"("}})";
}

// The dispatcher's generic refusal: "Invalid params for <method>."
inline std::string refusedLine(std::string_view method) {
  return invalidParamsLine("Invalid params for " + std::string(method) + ".");
}

class WireHarness {
 public:
  WireHarness()
      : dispatcher_(std::make_shared<FakeEngineHost>(), output_, EngineAreas::unbuilt()) {}

  // `paramsJson` is inserted verbatim, so it may hold any JSON text, well-formed or not.
  std::string replyTo(std::string_view method, std::string_view paramsJson) {
    const std::string line = R"({"id":7,"method":")" + std::string(method) + R"(","params":)" +
                             std::string(paramsJson) + "}";
    return dispatcher_.reply(line);
  }

  CapturingOutput& output() { return output_; }

 private:
  CapturingOutput output_;
  Dispatcher dispatcher_;
};

// Parameter tables. A request is written as (key, raw JSON text) pairs so that values such as 1.0
// or 18446744073709551616 reach the dispatcher exactly as typed.
using RawFields = std::vector<std::pair<std::string, std::string>>;

enum class Verdict { reaches, refused };

// One variation of a valid request: `key` set to the raw JSON `value`, or left out when there is
// no value.
struct KeyCase {
  std::string key;
  std::optional<std::string> value;
  Verdict verdict;
};

inline std::string objectText(const RawFields& fields) {
  std::string text = "{";
  for (const auto& [key, value] : fields) {
    if (text.size() > 1) text += ",";
    text += "\"" + key + "\":" + value;
  }
  return text + "}";
}

inline RawFields varied(RawFields fields, const KeyCase& change) {
  std::erase_if(fields, [&](const auto& field) { return field.first == change.key; });
  if (change.value) fields.emplace_back(change.key, *change.value);
  return fields;
}

// The valid request must reach the area; then each variation earns the area's line or the
// method's "Invalid params for ..." line.
inline void expectKeyCases(std::string_view method, const RawFields& valid,
                           const std::vector<KeyCase>& cases) {
  WireHarness harness;
  ASSERT_EQ(harness.replyTo(method, objectText(valid)), notBuiltLine) << method;
  for (const auto& change : cases) {
    const std::string params = objectText(varied(valid, change));
    const std::string expected =
        change.verdict == Verdict::reaches ? notBuiltLine : refusedLine(method);
    EXPECT_EQ(harness.replyTo(method, params), expected) << method << " " << params;
  }
}

inline std::vector<KeyCase> joined(std::initializer_list<std::vector<KeyCase>> groups) {
  std::vector<KeyCase> all;
  for (const auto& group : groups) all.insert(all.end(), group.begin(), group.end());
  return all;
}

// A required key that is not nullable: absent and null are refused alike.
inline std::vector<KeyCase> requiredCases(const std::string& key) {
  return {{key, std::nullopt, Verdict::refused}, {key, "null", Verdict::refused}};
}

// What any integer key refuses whatever its range; `wholeFloat` is an in-range value written as
// a float (1.0 counts as the integer 1).
inline std::vector<KeyCase> integerTypeCases(const std::string& key,
                                             const std::string& wholeFloat) {
  std::vector<KeyCase> cases = {{key, wholeFloat, Verdict::reaches}};
  for (const char* wrong : {"1.5", "\"1\"", "true", "[]", "{}", "9223372036854775808",
                            "18446744073709551616", "-9223372036854775809", "1e300"}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

inline std::vector<KeyCase> booleanTypeCases(const std::string& key) {
  std::vector<KeyCase> cases = {{key, "true", Verdict::reaches}, {key, "false", Verdict::reaches}};
  for (const char* wrong : {"1", "0", "\"true\"", "[]", "{}"}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

inline std::vector<KeyCase> numberTypeCases(const std::string& key) {
  std::vector<KeyCase> cases;
  for (const char* taken : {"0", "-12", "1.5", "-0.25", "1e6", "9223372036854775808"}) {
    cases.push_back({key, taken, Verdict::reaches});
  }
  for (const char* wrong : {"\"1\"", "true", "[]", "{}"}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

inline std::vector<KeyCase> textTypeCases(const std::string& key) {
  std::vector<KeyCase> cases;
  for (const char* wrong : {"1", "true", "[]", "{}"})
    cases.push_back({key, wrong, Verdict::refused});
  return cases;
}

// A JSON list of `count` copies of the raw entry.
inline std::string rawList(std::size_t count, const std::string& entry) {
  std::string text = "[";
  for (std::size_t index = 0; index < count; ++index) text += (index > 0 ? "," : "") + entry;
  return text + "]";
}

// A JSON list of `count` distinct, non-empty bundle identifiers.
inline std::string rawBundleIds(std::size_t count) {
  std::string text = "[";
  for (std::size_t index = 0; index < count; ++index) {
    text += (index > 0 ? ",\"app." : "\"app.") + std::to_string(index) + "\"";
  }
  return text + "]";
}

// The never-look gate, as every request that carries a never-look list applies it.
inline std::vector<KeyCase> neverLookCases(const std::string& key) {
  std::vector<KeyCase> cases = requiredCases(key);
  for (const std::string& taken :
       {std::string("[]"), rawBundleIds(64), std::string(R"(["a","a"])")}) {
    cases.push_back({key, taken, Verdict::reaches});
  }
  for (const std::string& wrong :
       {rawBundleIds(65), std::string(R"(["a",""])"), std::string(R"([""])"), std::string("[1]"),
        std::string("[null]"), std::string(R"("a")"), std::string("{}")}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

// Keys that must be sent but may hold null.
inline std::vector<KeyCase> nullableCases(const std::string& key) {
  return {{key, std::nullopt, Verdict::refused}, {key, "null", Verdict::reaches}};
}

// What any list of integers refuses whatever its count and range: entries that are not 64-bit
// integers, and a value that is not a list.
inline std::vector<KeyCase> integerListTypeCases(const std::string& key) {
  std::vector<KeyCase> cases = {{key, "[2.0]", Verdict::reaches}};
  for (const char* wrong :
       {"[1.5]", R"(["1"])", "[true]", "[null]", "[9223372036854775808]", "1", "{}"}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

// A required list of at most `maxCount` integers, each at least `low` (2 at most).
inline std::vector<KeyCase> cappedIntegerListCases(const std::string& key, std::size_t maxCount,
                                                   std::int64_t low) {
  std::vector<KeyCase> cases = joined({requiredCases(key), integerListTypeCases(key)});
  const std::string lowest = std::to_string(low);
  const std::string below = std::to_string(low - 1);
  for (const std::string& taken :
       {std::string("[]"), rawList(maxCount, lowest), "[" + lowest + ",9223372036854775807]"}) {
    cases.push_back({key, taken, Verdict::reaches});
  }
  for (const std::string& wrong : {rawList(maxCount + 1, lowest), "[" + below + "]",
                                   "[" + lowest + "," + below + "]", std::string("[-1]")}) {
    cases.push_back({key, wrong, Verdict::refused});
  }
  return cases;
}

// The pid-list gate, as every request that carries one applies it.
inline std::vector<KeyCase> pidListCases(const std::string& key) {
  return cappedIntegerListCases(key, 16, 1);
}

}  // namespace halcy::wire
