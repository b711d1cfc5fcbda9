# The tree's promise: what lies outside the platform folders builds on every platform.
add_test(NAME layout.portable_outside_platforms
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -P ${CMAKE_CURRENT_SOURCE_DIR}/layout/portable_includes.cmake)
set_tests_properties(layout.portable_outside_platforms PROPERTIES LABELS layout)
