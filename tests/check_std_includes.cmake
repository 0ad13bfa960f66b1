# Fails when a source uses a standard library name without including its
# header: one library's headers include another's less with every release
# (GCC 14's <string> no longer brings <algorithm>), so a file that leans on
# that builds on one Debian and not on the next. A .cpp may count on its own
# header's includes.
file(GLOB_RECURSE sources
  ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h
  ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/bench/*.h ${SOURCE_DIR}/fuzz/*.cpp ${SOURCE_DIR}/fuzz/*.h)
# header|names used as std::NAME( for algorithms, std::NAME otherwise
set(table
  "algorithm|(count|count_if|max|min|minmax|min_element|max_element|sort|stable_sort|find|find_if|any_of|all_of|none_of|remove_if|reverse|transform|fill|equal|clamp|unique|lower_bound|upper_bound|search|mismatch|for_each|copy_if|binary_search)\\("
  "numeric|(iota|accumulate|gcd|lcm)\\("
  "memory|(unique_ptr|shared_ptr|make_unique|make_shared|weak_ptr)[^a-z_]"
  "functional|function<"
  "optional|(optional|nullopt)[^a-z_]"
  "string|(string|to_string|stoi|stol|stoul|getline)[^a-z_]"
  "string_view|string_view[^a-z_]"
  "vector|vector<"
  "map|(map|multimap)<"
  "set|(set|multiset)<"
  "unordered_map|unordered_map<"
  "array|array<"
  "chrono|chrono::"
  "thread|(thread|this_thread)[^a-z_]"
  "mutex|(mutex|lock_guard|unique_lock|scoped_lock)[^a-z_]"
  "atomic|atomic[^a-z_]"
  "utility|(pair|make_pair|move|forward|exchange)[^a-z_]"
  "sstream|(ostringstream|istringstream|stringstream)[^a-z_]"
  "limits|numeric_limits<"
  "cstring|(strlen|memcpy|memset|strcmp|strncmp|memcmp|strerror)\\("
  "cstdio|(snprintf|fprintf|fputs|fflush)\\(")
set(bad "")
foreach(f IN LISTS sources)
  file(READ ${f} text)
  set(own "")
  string(REGEX REPLACE "\\.cpp$" ".h" own_header "${f}")
  if(NOT own_header STREQUAL f AND EXISTS ${own_header})
    file(READ ${own_header} own)
  endif()
  foreach(row IN LISTS table)
    string(REPLACE "|" ";" parts "${row}")
    list(GET parts 0 header)
    list(SUBLIST parts 1 -1 names)
    string(REPLACE ";" "|" names "${names}")
    if(text MATCHES "std::${names}" AND NOT text MATCHES "#include <${header}>"
       AND NOT own MATCHES "#include <${header}>")
      file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
      string(REGEX MATCH "std::${names}" used "${text}")
      list(APPEND bad "${rel}: ${used} without #include <${header}>")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n  " bad "${bad}")
  message(FATAL_ERROR "standard headers missing (add the #include):\n  ${bad}")
endif()
list(LENGTH sources n)
message(STATUS "standard includes: ${n} files include what they use")
