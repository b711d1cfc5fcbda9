# The whole program against faults of its surroundings: a read-only data folder, a full disk, a
# folder where the stored background should be, empty files, an accelerometer reading garbage,
# no sound device at all. Cases that this machine cannot stage are skipped, saying why.
if(TARGET brumelo)
  foreach(fault readonly-data full-disk background-folder empty-files accel-garbage no-sound)
    add_test(NAME faults.${fault} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/fault_test.sh ${fault}
      $<TARGET_FILE:brumelo> ${PROJECT_SOURCE_DIR}/resources)
    set_tests_properties(faults.${fault} PROPERTIES LABELS app SKIP_RETURN_CODE 77 TIMEOUT 300
      ENVIRONMENT "${BRUMELO_TEST_ENV}")
  endforeach()
endif()
