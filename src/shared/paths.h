// Joining and splitting absolute paths, one slash between components.
#pragma once

#include <string>

// `base` joined with `name`: exactly one slash between them, whatever
// slashes either side brings. An empty base gives `name` unchanged.
std::string JoinPath(const std::string& base, const std::string& name);
// `path` without its last component ("/a/b/c" gives "/a/b", "/a" gives "/");
// "" when the path has no slash.
std::string DeletingLastPathComponent(const std::string& path);
