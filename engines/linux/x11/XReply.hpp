#pragma once
// Replies and events come from XCB in malloc'd memory: they are owned by an XReply, freed with
// free().

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace halcy {

struct XFree {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using XReply = std::unique_ptr<T, XFree>;

// The reply to a request; none when the server refused it or the connection broke (an error of a
// request with a reply is dropped here rather than queued as an event).
template <typename T, typename Cookie>
XReply<T> xReply(T* (*read)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                 xcb_connection_t* connection, Cookie cookie) {
  return XReply<T>(read(connection, cookie, nullptr));
}

}  // namespace halcy
