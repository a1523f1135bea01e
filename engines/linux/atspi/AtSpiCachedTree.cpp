#include "AtSpiCachedTree.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

namespace halcy {

namespace {

constexpr std::string_view socketInterface = "org.a11y.atspi.Socket";

bool listed(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

AtSpiCachedTree::AtSpiCachedTree(std::optional<std::vector<AtSpiCacheItem>> items) {
  if (!items) return;
  std::map<AtSpiRef, std::vector<std::pair<std::int32_t, AtSpiRef>>> byParent;
  for (AtSpiCacheItem& item : *items) {
    if (item.self.empty()) continue;
    // An application's root names itself as its parent.
    if (!item.parent.empty() && item.parent != item.self) {
      byParent[item.parent].emplace_back(item.indexInParent, item.self);
    }
    const AtSpiRef self = item.self;
    items_.emplace(self, std::move(item));
  }
  for (const auto& [self, item] : items_) {
    // A socket's child lives in another application, which the count does not include; a count
    // of -1 says the application does not know it (a list box keeps its rows out of the cache).
    if (listed(item.interfaces, socketInterface) || item.childCount < 0) continue;
    std::vector<std::pair<std::int32_t, AtSpiRef>>& found = byParent[self];
    if (found.size() != static_cast<std::size_t>(std::max(item.childCount, 0))) continue;
    std::sort(found.begin(), found.end());
    std::vector<AtSpiRef> children;
    for (const auto& [position, child] : found) {
      // A child out of place means the cache lags behind the tree: the element is asked instead.
      if (position != static_cast<std::int32_t>(children.size())) break;
      children.push_back(child);
    }
    if (children.size() == found.size()) children_.emplace(self, std::move(children));
  }
}

const AtSpiCacheItem* AtSpiCachedTree::item(const AtSpiRef& element) const {
  const auto found = items_.find(element);
  return found == items_.end() ? nullptr : &found->second;
}

std::optional<std::vector<AtSpiRef>> AtSpiCachedTree::children(const AtSpiRef& element) const {
  if (auto found = children_.find(element); found != children_.end()) return found->second;
  return std::nullopt;
}

}  // namespace halcy
