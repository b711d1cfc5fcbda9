# The menus through the built program: a double tap, "Show your friends", the mail link handed
# to the URL command.
if(TARGET brumelo)
  set(_env "${BRUMELO_TEST_ENV}")
  set(_run ${CMAKE_BINARY_DIR}/menus-test-runs)

  add_test(NAME menus.show_your_friends COMMAND sh -c
    "d=${_run}/friends; rm -rf $d; mkdir -p $d; \
     printf '#!/bin/sh\\nprintf %s \"$1\" > %s/url.tmp && mv %s/url.tmp %s/url.txt\\n' '%s' $d $d $d > $d/record; chmod +x $d/record; \
     printf '1 button 0\\n3 touch-down 1 100 100\\n3 touch-up 1 100 100 2\\n5 button 2\\n' > $d/mail.script; \
     $<TARGET_FILE:brumelo> --headless --frames 8 --data-dir $d/data --pictures-dir $d/pictures \
       --open-url-command $d/record --script $d/mail.script || exit 1; \
     for i in $(seq 600); do [ -s $d/url.txt ] && break; sleep 0.1; done; \
     head -c 60 $d/url.txt; echo; \
     grep -q '^mailto:?subject=Check%20this%20out!%20-%20Brumelo&body=I%20created' $d/url.txt && \
     grep -q 'data:image/jpg;base64,/9j/' $d/url.txt")
  set_tests_properties(menus.show_your_friends PROPERTIES LABELS app ENVIRONMENT "${_env}")
endif()
