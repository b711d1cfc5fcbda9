# Fails when code meant to be portable includes a platform library's headers. Only the platform
# folders (src/platform/linux, src/platform/web), the desktop's main and the generators in tools/
# may; tests may too, to make and read their files, since they run on the desktop.
#   cmake -DSOURCE_DIR=<top> -P portable_includes.cmake
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.hpp ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.c
  ${SOURCE_DIR}/bench/*.h ${SOURCE_DIR}/bench/*.cpp)
set(libraries "SDL|EGL/|cairo|pango|sndfile|turbojpeg|jpeglib|libexif/|libportal/|gst/|glib|gio/|emscripten")
set(faults)
foreach(f ${files})
  if(f MATCHES "^src/platform/(linux|web)/" OR f STREQUAL "src/app/main.cpp")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${libraries})")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    list(APPEND faults "${f}: ${line}")
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "platform headers outside the platform folders:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files checked: portable")
