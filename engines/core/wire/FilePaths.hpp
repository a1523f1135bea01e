#pragma once
// Paths the caller names for files the engine writes.

#include <string>

namespace halcy {

// The path without its last component; slashes at the end do not make another component.
std::string folderOf(const std::string& path);

}  // namespace halcy
