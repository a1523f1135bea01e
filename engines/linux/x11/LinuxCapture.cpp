#include "LinuxCapture.hpp"

#include <pixman.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/composite.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "XReply.hpp"

namespace halcy {

namespace {

constexpr std::uint32_t allPlanes = 0xFFFFFFFFU;
// Segments kept for the next grabs; more are made while grabs overlap.
constexpr std::size_t idleSegments = 2;

bool hasExtension(xcb_connection_t* c, xcb_extension_t* extension) {
  const xcb_query_extension_reply_t* reply = xcb_get_extension_data(c, extension);
  return reply != nullptr && reply->present != 0;
}

// A shared-memory segment the server writes grabs into, attached to one connection.
struct Segment {
  int id = -1;
  std::uint8_t* memory = nullptr;
  std::size_t size = 0;
  xcb_shm_seg_t seg = 0;
  std::weak_ptr<XLink> attachedTo;

  ~Segment() {
    if (auto link = attachedTo.lock(); link && !link->broken()) xcb_shm_detach(link->get(), seg);
    if (memory != nullptr) shmdt(memory);
  }

  static std::unique_ptr<Segment> make(std::size_t size) {
    auto segment = std::make_unique<Segment>();
    segment->id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (segment->id < 0) return nullptr;
    void* memory = shmat(segment->id, nullptr, 0);
    // Removed now, so that it goes away with its last user whatever happens.
    shmctl(segment->id, IPC_RMID, nullptr);
    if (memory == reinterpret_cast<void*>(-1)) return nullptr;
    segment->memory = static_cast<std::uint8_t*>(memory);
    segment->size = size;
    return segment;
  }

  bool attach(const std::shared_ptr<XLink>& link) {
    if (attachedTo.lock() == link) return true;
    xcb_connection_t* c = link->get();
    seg = xcb_generate_id(c);
    XReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, seg, static_cast<std::uint32_t>(id), 0)));
    if (error) return false;
    attachedTo = link;
    return true;
  }
};

pixman_region32_t rectRegion(const XRect& rect) {
  pixman_region32_t region;
  pixman_region32_init_rect(&region, rect.x, rect.y, rect.width, rect.height);
  return region;
}

struct Region {
  pixman_region32_t value;
  Region() { pixman_region32_init(&value); }
  explicit Region(const XRect& rect) : value(rectRegion(rect)) {}
  ~Region() { pixman_region32_fini(&value); }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  void add(const XRect& rect) {
    Region piece(rect);
    pixman_region32_union(&value, &value, &piece.value);
  }
  void clip(const XRect& rect) {
    Region piece(rect);
    pixman_region32_intersect(&value, &value, &piece.value);
  }
  bool empty() const { return pixman_region32_not_empty(&value) == 0; }
  XRect extents() const {
    const pixman_box32_t* box = pixman_region32_extents(&value);
    return XRect{box->x1, box->y1, static_cast<std::uint32_t>(box->x2 - box->x1),
                 static_cast<std::uint32_t>(box->y2 - box->y1)};
  }
};

bool overlaps(const XRect& a, const XRect& b) {
  return a.x < b.x + static_cast<std::int32_t>(b.width) &&
         b.x < a.x + static_cast<std::int32_t>(a.width) &&
         a.y < b.y + static_cast<std::int32_t>(b.height) &&
         b.y < a.y + static_cast<std::int32_t>(a.height);
}

}  // namespace

struct LinuxCapture::State {
  std::mutex lock;
  std::vector<std::unique_ptr<Segment>> idle;
  // The connection whose root's children are redirected (its serial).
  std::uint64_t redirected = 0;

  // A segment of at least `size` bytes attached to `link`, back to the idle ones when the last
  // picture made in it goes.
  std::shared_ptr<Segment> segment(const std::shared_ptr<XLink>& link, std::size_t size,
                                   const std::shared_ptr<State>& self) {
    std::unique_ptr<Segment> found;
    {
      std::lock_guard guard(lock);
      auto fits = std::find_if(idle.begin(), idle.end(),
                               [&](const auto& segment) { return segment->size >= size; });
      if (fits != idle.end()) {
        found = std::move(*fits);
        idle.erase(fits);
      }
    }
    if (!found) found = Segment::make(size);
    if (!found || !found->attach(link)) return nullptr;
    std::weak_ptr<State> weak = self;
    return std::shared_ptr<Segment>(found.release(), [weak](Segment* segment) {
      std::unique_ptr<Segment> owned(segment);
      if (auto state = weak.lock()) {
        std::lock_guard guard(state->lock);
        if (state->idle.size() < idleSegments) state->idle.push_back(std::move(owned));
      }
    });
  }

  void redirect(XLink& link) {
    xcb_connection_t* c = link.get();
    if (link.broken() || !hasExtension(c, &xcb_composite_id)) return;
    if (!xReply(xcb_composite_query_version_reply, c, xcb_composite_query_version(c, 0, 4))) return;
    XReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_composite_redirect_subwindows_checked(
                                 c, link.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
    if (error) return;
    std::lock_guard guard(lock);
    redirected = link.serial();
  }

  bool composites(const XLink& link) {
    std::lock_guard guard(lock);
    return redirected == link.serial();
  }
};

namespace {

using State = LinuxCapture::State;

// The pixels of a drawable's rectangle (in its own coordinates), 32 bits a pixel; none when the
// drawable is gone, not viewable, or of another depth.
std::optional<Picture> read(State& state, const std::shared_ptr<State>& self,
                            const std::shared_ptr<XLink>& link, xcb_drawable_t drawable,
                            std::int32_t x, std::int32_t y, std::uint32_t width,
                            std::uint32_t height) {
  if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF) return std::nullopt;
  xcb_connection_t* c = link->get();
  const std::size_t stride = static_cast<std::size_t>(width) * Picture::bytesPerPixel;
  const std::size_t size = stride * height;
  if (hasExtension(c, &xcb_shm_id)) {
    if (auto segment = state.segment(link, size, self)) {
      auto reply = xReply(
          xcb_shm_get_image_reply, c,
          xcb_shm_get_image(c, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                            static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                            allPlanes, XCB_IMAGE_FORMAT_Z_PIXMAP, segment->seg, 0));
      if (!reply || reply->depth < 24) return std::nullopt;
      std::uint8_t* memory = segment->memory;
      return Picture::over(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                           stride, memory, std::move(segment));
    }
  }
  auto reply =
      xReply(xcb_get_image_reply, c,
             xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                           static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                           static_cast<std::uint16_t>(height), allPlanes));
  if (!reply || reply->depth < 24 ||
      static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < size) {
    return std::nullopt;
  }
  Picture picture =
      Picture::blank(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
  if (picture.empty()) return std::nullopt;
  std::memcpy(picture.pixels, xcb_get_image_data(reply.get()), size);
  return picture;
}

// The root's background over `area`: a window that shows its parent's background, mapped below
// every other window for the moment of one read. It looks exactly like the root where it shows.
std::optional<Picture> backdrop(State& state, const std::shared_ptr<State>& self,
                                const std::shared_ptr<XLink>& link, const XRect& area) {
  xcb_connection_t* c = link->get();
  const xcb_window_t window = xcb_generate_id(c);
  const std::uint32_t values[] = {XCB_BACK_PIXMAP_PARENT_RELATIVE, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, link->root(),
                    static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y),
                    static_cast<std::uint16_t>(area.width), static_cast<std::uint16_t>(area.height),
                    0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
  const std::uint32_t below[] = {XCB_STACK_MODE_BELOW};
  xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, below);
  xcb_map_window(c, window);
  auto picture = read(state, self, link, window, 0, 0, area.width, area.height);
  xcb_destroy_window(c, window);
  xcb_flush(c);
  return picture;
}

// Copies `from` (whose top-left lies at `origin` in root pixels) into `into` (whose top-left lies
// at `area`'s), only inside `clip` (root pixels).
void paint(const Picture& into, const XRect& area, const Picture& from, std::int32_t originX,
           std::int32_t originY, const Region& clip) {
  Region local;
  pixman_region32_copy(&local.value, &clip.value);
  pixman_region32_translate(&local.value, -area.x, -area.y);
  pixman_image_t* target = pixman_image_create_bits(PIXMAN_x8r8g8b8, into.width, into.height,
                                                    reinterpret_cast<std::uint32_t*>(into.pixels),
                                                    static_cast<int>(into.stride));
  pixman_image_t* source = pixman_image_create_bits(PIXMAN_x8r8g8b8, from.width, from.height,
                                                    reinterpret_cast<std::uint32_t*>(from.pixels),
                                                    static_cast<int>(from.stride));
  if (target != nullptr && source != nullptr) {
    pixman_image_set_clip_region32(target, &local.value);
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, target, 0, 0, 0, 0, originX - area.x,
                             originY - area.y, from.width, from.height);
  }
  if (source != nullptr) pixman_image_unref(source);
  if (target != nullptr) pixman_image_unref(target);
}

void blackOut(Picture& picture, const XRect& area, const Region& hidden) {
  int count = 0;
  const pixman_box32_t* boxes = pixman_region32_rectangles(&hidden.value, &count);
  for (int i = 0; i < count; ++i) {
    picture.fill(boxes[i].x1 - area.x, boxes[i].y1 - area.y, boxes[i].x2 - boxes[i].x1,
                 boxes[i].y2 - boxes[i].y1, 0x000000);
  }
}

}  // namespace

LinuxCapture::LinuxCapture(std::shared_ptr<LinuxDisplay> display)
    : display_(std::move(display)), state_(std::make_shared<State>()) {
  std::weak_ptr<State> weak = state_;
  // Redirection belongs to the connection that asked for it: every new connection asks again.
  XConnection::Watcher watcher;
  watcher.onConnect = [weak](const std::shared_ptr<XLink>& link) {
    if (auto state = weak.lock()) state->redirect(*link);
  };
  redirect_ = display_->connection()->watch(std::move(watcher));
}

LinuxCapture::~LinuxCapture() = default;

std::optional<Picture> LinuxCapture::grab(const XRect& area, const Hidden& hidden) {
  auto link = display_->connection()->link();
  if (!link || area.width == 0 || area.height == 0) return std::nullopt;
  if (!hidden) {
    return read(*state_, state_, link, link->root(), area.x, area.y, area.width, area.height);
  }
  // The stacking before and after the grab: a hidden window that moved, appeared or went away
  // meanwhile is left out wherever it was.
  const LinuxStacking before = display_->stacking();
  std::optional<Picture> shot =
      read(*state_, state_, link, link->root(), area.x, area.y, area.width, area.height);
  if (!shot) return std::nullopt;
  const LinuxStacking after = display_->stacking();

  std::set<xcb_window_t> hiddenFrames;
  for (const LinuxStacking* stacking : {&before, &after}) {
    for (const LinuxWindow& window : stacking->windows) {
      if (window.frame != 0 && window.onScreen && hidden(window)) hiddenFrames.insert(window.frame);
    }
  }
  Region holes;
  for (const LinuxStacking* stacking : {&before, &after}) {
    for (const LinuxTopLevel& top : stacking->topLevels) {
      if (hiddenFrames.count(top.id) != 0 && top.viewable) holes.add(top.bounds);
    }
  }
  holes.clip(area);
  if (holes.empty()) return shot;
  // Some picture must come back: the grab's memory is the canvas; from here the holes are black.
  Picture canvas = *shot;
  blackOut(canvas, area, holes);
  if (!state_->composites(*link)) return canvas;
  const XRect reach = holes.extents();
  if (auto background = backdrop(*state_, state_, link, reach)) {
    paint(canvas, area, *background, reach.x, reach.y, holes);
  }
  for (const LinuxTopLevel& top : after.topLevels) {
    if (!top.viewable || top.inputOnly || hiddenFrames.count(top.id) != 0 ||
        !overlaps(top.bounds, reach)) {
      continue;
    }
    Region under(top.bounds);
    pixman_region32_intersect(&under.value, &under.value, &holes.value);
    if (under.empty()) continue;
    const XRect part = under.extents();
    const std::int32_t originX = top.bounds.x + top.border;
    const std::int32_t originY = top.bounds.y + top.border;
    // A window closed since the stacking was read is simply not there: what lies beneath shows.
    if (auto contents = read(*state_, state_, link, top.id, part.x - originX, part.y - originY,
                             part.width, part.height)) {
      paint(canvas, area, *contents, part.x, part.y, under);
    }
  }
  return canvas;
}

}  // namespace halcy
