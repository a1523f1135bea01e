#pragma once
// A folder of the test's own under the temporary folder: made empty when the test starts and
// removed with everything in it when the test ends.

#include <unistd.h>

#include <filesystem>
#include <string>

namespace halcy {

struct TempFolder {
  explicit TempFolder(const std::string& name)
      : path(std::filesystem::temp_directory_path() /
             ("halcy-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path path;
};

}  // namespace halcy
