// The shared X connection against a real server: events reach watchers until their subscription
// ends, and a connection that breaks is announced once and made again, every watcher greeted anew.
// Needs a display: it runs inside the test desktop.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "XConnection.hpp"
#include "XReply.hpp"

namespace halcy {
namespace {

using namespace std::chrono_literals;

// What a watcher saw, for a test thread to wait on.
struct Seen {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::uint64_t> connects;  // serials of the links greeted
  std::vector<std::uint64_t> losses;
  int propertyChanges = 0;

  XConnection::Watcher watcher(const std::atomic<xcb_window_t>* window) {
    return {[this, window](XLink&, const xcb_generic_event_t& event) {
              const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
              if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY || change.window != *window) {
                return;
              }
              note([&] { ++propertyChanges; });
            },
            [this](const std::shared_ptr<XLink>& link) {
              note([&] { connects.push_back(link->serial()); });
            },
            [this](XLink& link) { note([&] { losses.push_back(link.serial()); }); }};
  }

  template <typename Change>
  void note(Change change) {
    std::lock_guard guard(lock);
    change();
    changed.notify_all();
  }

  template <typename Predicate>
  bool waitFor(Predicate predicate) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, 2s, predicate);
  }
};

// A window of the test's own that reports its property changes.
xcb_window_t watchedWindow(XLink& link) {
  const xcb_window_t window = xcb_generate_id(link.get());
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(link.get(), XCB_COPY_FROM_PARENT, window, link.root(), 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  return window;
}

void touch(XLink& link, xcb_window_t window) {
  xcb_change_property(link.get(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                      8, 1, "x");
  xcb_flush(link.get());
}

class XConnectionLive : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no display";
  }
};

TEST_F(XConnectionLive, EventsReachWatchersUntilTheirSubscriptionEnds) {
  XConnection connection;
  const std::shared_ptr<XLink> link = connection.link();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(connection.link(), link);
  std::atomic<xcb_window_t> window = watchedWindow(*link);
  Seen kept;
  Seen ended;
  Subscription keptWatch = connection.watch(kept.watcher(&window));
  Subscription endedWatch = connection.watch(ended.watcher(&window));
  // A live connection greets a newcomer at once, and only it.
  EXPECT_EQ(kept.connects, std::vector<std::uint64_t>{link->serial()});
  EXPECT_EQ(ended.connects, std::vector<std::uint64_t>{link->serial()});

  touch(*link, window);
  EXPECT_TRUE(kept.waitFor([&] { return kept.propertyChanges == 1; }));
  EXPECT_TRUE(ended.waitFor([&] { return ended.propertyChanges == 1; }));

  endedWatch = Subscription();
  touch(*link, window);
  touch(*link, window);
  EXPECT_TRUE(kept.waitFor([&] { return kept.propertyChanges == 3; }));
  EXPECT_EQ(ended.propertyChanges, 1);
}

TEST_F(XConnectionLive, ABrokenConnectionIsAnnouncedOnceAndMadeAgain) {
  XConnection connection;
  Seen seen;
  std::atomic<xcb_window_t> window = XCB_NONE;
  Subscription watch = connection.watch(seen.watcher(&window));
  std::shared_ptr<XLink> first = connection.link();
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(seen.connects, std::vector<std::uint64_t>{first->serial()});

  // As when the server goes away: the socket reads as closed.
  ::shutdown(xcb_get_file_descriptor(first->get()), SHUT_RDWR);
  EXPECT_TRUE(seen.waitFor([&] { return !seen.losses.empty(); }));
  EXPECT_TRUE(first->broken());

  // The next use connects again and greets the watcher there.
  std::shared_ptr<XLink> second = connection.link();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second->serial(), first->serial());
  EXPECT_FALSE(second->broken());
  EXPECT_EQ(seen.losses, std::vector<std::uint64_t>{first->serial()});
  EXPECT_EQ(seen.connects, (std::vector<std::uint64_t>{first->serial(), second->serial()}));

  window = watchedWindow(*second);
  touch(*second, window);
  EXPECT_TRUE(seen.waitFor([&] { return seen.propertyChanges == 1; }));
}

TEST_F(XConnectionLive, AKeptConnectionIsMadeAgainWithoutAUse) {
  XConnection connection;
  Seen seen;
  std::atomic<xcb_window_t> window = XCB_NONE;
  Subscription watch = connection.watch(seen.watcher(&window));
  Subscription kept = connection.keepConnected();
  std::shared_ptr<XLink> first = connection.link();
  ASSERT_NE(first, nullptr);

  ::shutdown(xcb_get_file_descriptor(first->get()), SHUT_RDWR);
  first.reset();
  EXPECT_TRUE(seen.waitFor([&] { return seen.connects.size() == 2; }));
  EXPECT_EQ(seen.losses.size(), 1U);

  // Once nobody keeps it, a loss waits for the next use.
  kept = Subscription();
  std::shared_ptr<XLink> second = connection.link();
  ASSERT_NE(second, nullptr);
  ::shutdown(xcb_get_file_descriptor(second->get()), SHUT_RDWR);
  second.reset();
  EXPECT_TRUE(seen.waitFor([&] { return seen.losses.size() == 2; }));
  std::this_thread::sleep_for(3 * XConnection::retryInterval);
  std::lock_guard guard(seen.lock);
  EXPECT_EQ(seen.connects.size(), 2U);
}

// The root's event mask as this client selected it.
std::uint32_t rootMaskOf(XLink& link) {
  XReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
      link.get(), xcb_get_window_attributes(link.get(), link.root()), nullptr));
  return attributes ? attributes->your_event_mask : 0;
}

TEST_F(XConnectionLive, RootInputIsTheUnionOfLiveSelectionsOnEveryConnection) {
  XConnection connection;
  Subscription properties = connection.selectRootInput(XCB_EVENT_MASK_PROPERTY_CHANGE);
  Subscription structure = connection.selectRootInput(XCB_EVENT_MASK_STRUCTURE_NOTIFY);
  std::shared_ptr<XLink> first = connection.link();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(rootMaskOf(*first), XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);

  // One selection ending leaves the other's bits in place.
  structure = Subscription();
  EXPECT_EQ(rootMaskOf(*first), std::uint32_t{XCB_EVENT_MASK_PROPERTY_CHANGE});

  // A new connection selects what is still wanted.
  ::shutdown(xcb_get_file_descriptor(first->get()), SHUT_RDWR);
  while (!first->broken()) std::this_thread::sleep_for(1ms);
  std::shared_ptr<XLink> second = connection.link();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(rootMaskOf(*second), std::uint32_t{XCB_EVENT_MASK_PROPERTY_CHANGE});
}

}  // namespace
}  // namespace halcy
