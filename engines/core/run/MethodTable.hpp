#pragma once
// The method table: for each method name, the keys its "params" may hold and the row that decodes
// them and calls the engine. A row is built from its parameter record, which names its own keys
// beside its decoder; Methods.cpp adds each area's rows.

#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "Areas.hpp"
#include "Json.hpp"
#include "Microphone.hpp"
#include "Output.hpp"
#include "Protocol.hpp"

namespace halcy {

// What a method row may call: the host, the recorder and the areas.
struct EngineParts {
  EngineHost& host;
  MicController& mic;
  const EngineAreas& areas;
};

// What one row produces: the result object and, for meetings, what runs after the reply.
struct MethodCall {
  Json result;
  std::function<void()> followUp;
};

EngineFailure invalidParams(std::string_view method);

// Any decoding error becomes the method's "Invalid params for ..." failure; an EngineFailure
// thrown by the record passes unchanged.
template <class Params>
Params decodeParams(std::string_view method, const Json& params) {
  try {
    return Params::decode(JsonObject(params));
  } catch (const EngineFailure&) {
    throw;
  } catch (const DecodeError&) {
    throw invalidParams(method);
  } catch (const Json::exception&) {
    throw invalidParams(method);
  }
}

class MethodTable {
 public:
  struct Row {
    // None when the method takes any keys.
    std::optional<std::vector<std::string_view>> keys;
    std::function<MethodCall(EngineParts& parts, std::string_view method, const Json& params)> call;

    // Refuses keys the method does not take, in code-point order, before anything decodes.
    MethodCall run(EngineParts& parts, std::string_view method, const Json& request) const;
  };

  // A method whose "params" must be an empty object, answered by `act(parts)`.
  template <class Act>
  void none(std::string_view method, Act act) {
    add(method,
        Row{std::vector<std::string_view>{}, [act](EngineParts& parts, std::string_view,
                                                   const Json&) { return called(act(parts)); }});
  }

  // A method whose "params" decodes to `Params`, answered by `act(parts, request)`.
  template <class Params, class Act>
  void taking(std::string_view method, Act act) {
    add(method, Row{keysOf<Params>(),
                    [act](EngineParts& parts, std::string_view method, const Json& params) {
                      return called(act(parts, decodeParams<Params>(method, params)));
                    }});
  }

  // A method one operation of an area answers, with or without a request.
  template <class Area, class Result>
  void area(std::string_view method, std::shared_ptr<Area> EngineAreas::*area,
            Result (Area::*operation)()) {
    none(method,
         [area, operation](EngineParts& parts) { return ((*(parts.areas.*area)).*operation)(); });
  }
  template <class Area, class Result, class Params>
  void area(std::string_view method, std::shared_ptr<Area> EngineAreas::*area,
            Result (Area::*operation)(const Params&)) {
    taking<Params>(method, [area, operation](EngineParts& parts, const Params& request) {
      return ((*(parts.areas.*area)).*operation)(request);
    });
  }

  const Row* find(std::string_view method) const;

 private:
  template <class Params>
  static std::optional<std::vector<std::string_view>> keysOf() {
    if constexpr (requires { Params::takesAnyKeys; }) {
      return std::nullopt;
    } else {
      return std::vector<std::string_view>(std::begin(Params::keyNames),
                                           std::end(Params::keyNames));
    }
  }

  template <class Result>
  static MethodCall called(Result result) {
    if constexpr (std::is_same_v<Result, MethodCall>) {
      return result;
    } else {
      return {result.toJson(), nullptr};
    }
  }

  // A name added twice is a mistake in the table, refused when the table is built.
  void add(std::string_view method, Row row);

  std::unordered_map<std::string_view, Row> rows_;
};

// Every method the engine answers; built once, on first use.
const MethodTable& engineMethods();

}  // namespace halcy
