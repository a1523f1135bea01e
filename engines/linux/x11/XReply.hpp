#pragma once
// An owned XCB reply or event: XCB hands them out with malloc, for the caller to free.

#include <cstdlib>
#include <memory>

namespace halcy {

struct XFree {
  void operator()(void* memory) const { std::free(memory); }
};

template <typename T>
using XReply = std::unique_ptr<T, XFree>;

}  // namespace halcy
