#pragma once
// Environment variables set for one test and put back afterwards, and the fixture of a process
// with no desktop around it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halcy {

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

  // An empty value unsets the variable.
  void set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Points the process at a display and a session bus that do not exist.
class NoDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.set("DISPLAY", ":4999");
    environment_.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/halcy-test-bus");
    environment_.set("AT_SPI_BUS_ADDRESS", "");
  }

 private:
  ScopedEnvironment environment_;
};

}  // namespace halcy
