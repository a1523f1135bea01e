#pragma once
// What an application's accessibility cache (Cache.GetItems) tells of its elements, indexed: each
// element's item, and its children in order where the cache holds every one of them.

#include <map>
#include <optional>
#include <vector>

#include "AtSpiTypes.hpp"

namespace halcy {

class AtSpiCachedTree {
 public:
  // No items (the application keeps no cache, or did not answer) make an empty tree.
  explicit AtSpiCachedTree(std::optional<std::vector<AtSpiCacheItem>> items);

  // None when the cache does not describe the element.
  const AtSpiCacheItem* item(const AtSpiRef& element) const;
  // An element's children in order; none when the cache does not hold every one of them.
  std::optional<std::vector<AtSpiRef>> children(const AtSpiRef& element) const;

 private:
  std::map<AtSpiRef, AtSpiCacheItem> items_;
  std::map<AtSpiRef, std::vector<AtSpiRef>> children_;
};

}  // namespace halcy
