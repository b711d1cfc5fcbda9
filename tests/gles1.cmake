# The whole program drawn through the fixed-function layer on ES 2 / 3 makes the demonstration's
# picture as the program on Mesa's ES 1.1 does, within a tolerance.
if(TARGET brumelo AND TARGET brumelo_es2)
  add_test(NAME gles1.demo_matches_the_fixed_function_driver
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/gles1/compare_demo.sh $<TARGET_FILE:brumelo>
      $<TARGET_FILE:brumelo_es2> ${PROJECT_SOURCE_DIR}/resources/demo.script
      ${CMAKE_BINARY_DIR}/program-test-runs/gles1-demo)
  set_tests_properties(gles1.demo_matches_the_fixed_function_driver PROPERTIES LABELS gles1
    ENVIRONMENT "${BRUMELO_TEST_ENV}")
endif()
