#include "MethodTable.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace halcy {

EngineFailure invalidParams(std::string_view method) {
  return EngineFailure(ErrorCode::invalidParams, "Invalid params for " + std::string(method) + ".");
}

namespace {

EngineFailure refusedKeys(std::string_view method, std::vector<std::string> refused) {
  // std::string compares bytes; UTF-8 byte order is code-point order.
  std::sort(refused.begin(), refused.end());
  std::string message = std::string(method) + " takes no ";
  for (std::size_t index = 0; index < refused.size(); ++index) {
    if (index > 0) message += ", ";
    message += refused[index];
  }
  return EngineFailure(ErrorCode::invalidParams, message + ".");
}

}  // namespace

MethodCall MethodTable::Row::run(EngineParts& parts, std::string_view method,
                                 const Json& request) const {
  auto found = request.find("params");
  if (found == request.end() || !found->is_object()) throw invalidParams(method);
  if (keys) {
    std::vector<std::string> refused;
    for (const auto& item : found->items()) {
      if (std::find(keys->begin(), keys->end(), item.key()) == keys->end()) {
        refused.push_back(item.key());
      }
    }
    if (!refused.empty()) throw refusedKeys(method, std::move(refused));
  }
  return call(parts, method, *found);
}

void MethodTable::add(std::string_view method, Row row) {
  if (!rows_.emplace(method, std::move(row)).second) {
    throw std::logic_error("Two rows for " + std::string(method) + ".");
  }
}

const MethodTable::Row* MethodTable::find(std::string_view method) const {
  auto row = rows_.find(method);
  return row == rows_.end() ? nullptr : &row->second;
}

}  // namespace halcy
