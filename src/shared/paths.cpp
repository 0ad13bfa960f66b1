#include "shared/paths.h"

#include <string>

std::string JoinPath(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  std::string::size_type end = base.find_last_not_of('/');
  std::string head = end == std::string::npos ? std::string() : base.substr(0, end + 1);
  std::string::size_type start = name.find_first_not_of('/');
  std::string tail = start == std::string::npos ? std::string() : name.substr(start);
  return head + "/" + tail;
}

std::string DeletingLastPathComponent(const std::string& path) {
  std::string::size_type end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? std::string() : std::string("/");
  std::string::size_type slash = path.rfind('/', end);
  if (slash == std::string::npos) return std::string();
  std::string::size_type keep = path.find_last_not_of('/', slash);
  if (keep == std::string::npos) return std::string("/");
  return path.substr(0, keep + 1);
}
