# The Debian package: `cpack -G DEB` makes it with its dependencies declared, its software-centre
# entry passes appstreamcli, and the program unpacked from it runs.
find_program(BRUMELO_DPKG_DEB dpkg-deb)
find_program(BRUMELO_APPSTREAMCLI appstreamcli)
if(TARGET brumelo AND BRUMELO_DPKG_DEB AND BRUMELO_APPSTREAMCLI)
  set(_root ${CMAKE_BINARY_DIR}/package-test)
  add_test(NAME program.package COMMAND sh -c
    "rm -rf ${_root} && mkdir -p ${_root} && cd ${_root} && \
     { ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake -B ${_root} \
       >cpack.log 2>&1 || { cat cpack.log; exit 1; }; } && \
     deb=$(ls ${_root}/brumelo_*.deb) && \
     { dpkg-deb -f $deb Depends | grep -q libopenal1 || { echo no libraries declared; exit 1; }; } && \
     dpkg-deb -x $deb root && \
     ${BRUMELO_APPSTREAMCLI} validate --no-net root/usr/share/metainfo/org.brumelo.Brumelo.metainfo.xml && \
     cd / && ${_root}/root/usr/bin/brumelo --headless --frames 3 --data-dir ${_root}/data \
       --screenshot ${_root}/last.png && [ -s ${_root}/last.png ]")
  set_tests_properties(program.package PROPERTIES LABELS app
    ENVIRONMENT "${BRUMELO_TEST_ENV}")
endif()
