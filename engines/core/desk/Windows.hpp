#pragma once
// Window titles of running applications: the windows area behind "windows.list" and the two
// window facts it asks of the platform.

#include <cstdint>
#include <string>
#include <vector>

#include "Output.hpp"
#include "WindowsProtocol.hpp"

namespace halcy {

// The two window facts the windows list asks of the platform.
class WindowSource {
 public:
  virtual ~WindowSource() = default;
  virtual std::vector<std::int64_t> runningApps(const std::string& bundleId) = 0;
  virtual std::vector<std::string> windowTitles(std::int64_t pid) = 0;
};

class WindowsArea {
 public:
  virtual ~WindowsArea() = default;
  virtual WindowsList list(const WindowsListRequest& request) = 0;
};

class UnbuiltWindows : public WindowsArea {
 public:
  WindowsList list(const WindowsListRequest&) override { throw notBuiltYet(); }
};

}  // namespace halcy
