#include "FilePaths.hpp"

namespace halcy {

std::string folderOf(const std::string& path) {
  const auto last = path.find_last_not_of('/');
  if (last == std::string::npos) return "/";
  const auto slash = path.rfind('/', last);
  const auto end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? std::string("/") : path.substr(0, end + 1);
}

}  // namespace halcy
