# Fails when a core source includes anything but the standard library, the
# seam (platform/*.h) and other core headers.
file(GLOB_RECURSE sources
  ${SOURCE_DIR}/src/shared/* ${SOURCE_DIR}/src/app/* ${SOURCE_DIR}/src/commands/*
  ${SOURCE_DIR}/src/output/*
  ${SOURCE_DIR}/src/hub/* ${SOURCE_DIR}/src/gestures/* ${SOURCE_DIR}/src/service/*
  ${SOURCE_DIR}/src/ui/*)
set(allowed_system
  algorithm array atomic cerrno cinttypes climits csignal cstdarg cstddef cstdint cstdio cstdlib
  cstring ctime functional memory optional string string_view utility vector)
set(bad "")
foreach(f IN LISTS sources)
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
      list(FIND allowed_system "${CMAKE_MATCH_1}" idx)
      if(idx EQUAL -1)
        list(APPEND bad "${f}: <${CMAKE_MATCH_1}>")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*\"platform/(sim|linux|macos|posix)/")
      list(APPEND bad "${f}: ${line}")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n  " bad "${bad}")
  message(FATAL_ERROR "core includes outside the seam:\n  ${bad}")
endif()
list(LENGTH sources n)
message(STATUS "core includes: ${n} files clean")
