# `cmake --install` lays out the program, its resources, a desktop entry and an icon, and the
# installed program runs from there.
if(TARGET brumelo)
  set(_prefix ${CMAKE_BINARY_DIR}/install-test)
  add_test(NAME program.install COMMAND sh -c
    "rm -rf ${_prefix} && ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${_prefix} >/dev/null && \
     for f in bin/brumelo share/brumelo/Foggy1-HQ.png share/brumelo/back1.png share/brumelo/window-view.jpg share/brumelo/Droplet1.png \
              share/brumelo/Droplet2.png share/brumelo/demo.script share/applications/brumelo.desktop \
              share/icons/hicolor/scalable/apps/brumelo.svg; do [ -e ${_prefix}/$f ] || { echo missing $f; exit 1; }; done && \
     cd / && ${_prefix}/bin/brumelo --headless --frames 3 --data-dir ${_prefix}/data --screenshot ${_prefix}/last.png && \
     [ -s ${_prefix}/last.png ]")
  set_tests_properties(program.install PROPERTIES LABELS app
    ENVIRONMENT "${BRUMELO_TEST_ENV}")
endif()
