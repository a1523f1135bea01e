// The accessibility client where it cannot ask anybody: no bus gives empty answers within the
// timeout, and elements on malformed bus names are answered without asking.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "AtSpi.hpp"
#include "ScopedEnvironment.hpp"

namespace halcy {
namespace {

TEST_F(NoDesktop, AccessibilityAnswersNothingWithinItsTimeout) {
  AtSpi atspi;
  const AtSpiRef someone{":1.42", "/org/a11y/atspi/accessible/root"};
  EXPECT_FALSE(atspi.reachable(AtSpi::walkTimeout));
  EXPECT_EQ(atspi.focused(AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.focused(1, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_TRUE(atspi.applications(AtSpi::fieldTimeout).empty());
  EXPECT_EQ(atspi.role(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.text(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.pid(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.cacheItems(someone.bus, AtSpi::fieldTimeout), std::nullopt);
  const auto facts = atspi.nodeFacts({someone, someone}, AtSpi::walkTimeout);
  ASSERT_EQ(facts.size(), 2U);
  EXPECT_EQ(facts[0].role, std::nullopt);
  auto subscription = atspi.subscribe({"object:state-changed:focused"}, [](const AtSpiEvent&) {});
}

// Applications name other elements' buses themselves; GDBus never answers a call to a malformed
// name, so a round that sent one would wait forever. Needs a message bus to talk to: it runs inside
// the test desktop.
TEST(AtSpiRounds, MalformedElementsAreAnsweredWithoutAsking) {
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (session == nullptr || session[0] == '\0') GTEST_SKIP() << "no session bus";
  ScopedEnvironment environment;
  environment.set("AT_SPI_BUS_ADDRESS", session);
  {
    AtSpi atspi;
    const AtSpiRef malformed{"not a bus name", "/org/a11y/atspi/accessible/1"};
    // The bus daemon itself has no accessible objects: a well-formed call that fails.
    const AtSpiRef daemon{"org.freedesktop.DBus", "/org/freedesktop/DBus"};
    const std::vector<AtSpi::Answer> answers =
        atspi.ask({{malformed, true, true, true, true}, {daemon, true, false, true, false}},
                  AtSpi::walkTimeout);
    ASSERT_EQ(answers.size(), 2U);
    for (const AtSpi::Answer& answer : answers) {
      EXPECT_EQ(answer.role, std::nullopt);
      EXPECT_EQ(answer.name, std::nullopt);
      EXPECT_EQ(answer.children, std::nullopt);
      EXPECT_EQ(answer.text, std::nullopt);
    }
    EXPECT_EQ(atspi.nodeFacts({malformed, daemon}, AtSpi::walkTimeout).size(), 2U);
    EXPECT_EQ(atspi.elementFacts(malformed, AtSpi::walkTimeout).role, std::nullopt);
    EXPECT_EQ(atspi.contentFacts(malformed, AtSpi::Content::text, AtSpi::walkTimeout).text,
              std::nullopt);
  }
}

}  // namespace
}  // namespace halcy
