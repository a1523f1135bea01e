#pragma once
// Window titles of running applications.

#include <cstdint>
#include <string>
#include <vector>

#include "WindowsProtocol.hpp"

namespace halcy {

// The two window facts the windows list asks of the platform.
class WindowSource {
 public:
  virtual ~WindowSource() = default;
  virtual std::vector<std::int64_t> runningApps(const std::string& bundleId) = 0;
  virtual std::vector<std::string> windowTitles(std::int64_t pid) = 0;
};

namespace WindowRules {
WindowsList list(const WindowsListRequest& request, WindowSource& source);
}

}  // namespace halcy
