# The built program, run the way people and scripts run it.
if(TARGET brumelo)
  set(_env "${BRUMELO_TEST_ENV}")
  set(_run ${CMAKE_BINARY_DIR}/program-test-runs)
  set(_tapscript ${CMAKE_CURRENT_SOURCE_DIR}/data/program-taps.script)

  add_test(NAME program.version COMMAND brumelo --version)
  set_tests_properties(program.version PROPERTIES LABELS app
    PASS_REGULAR_EXPRESSION "^Brumelo 1\\.2 \\(")

  # Refusals: one line and exit status 2.
  add_test(NAME program.bad_option COMMAND sh -c
    "out=$($<TARGET_FILE:brumelo> --frames many 2>&1); s=$?; echo \"$out\"; [ $s -eq 2 ] && [ $(echo \"$out\" | wc -l) -eq 1 ]")
  add_test(NAME program.unknown_option COMMAND sh -c
    "$<TARGET_FILE:brumelo> --no-such-thing; [ $? -eq 2 ]")
  set_tests_properties(program.bad_option program.unknown_option PROPERTIES LABELS app)

  # A bad script line stops the run before any frame, naming the file and the line.
  add_test(NAME program.script_error COMMAND sh -c
    "d=${_run}/script-error; rm -rf $d; mkdir -p $d; printf '1 mic 0.5\\n\\n7 touch-sideways 1 2 3\\n' > $d/bad.script; \
     out=$($<TARGET_FILE:brumelo> --headless --data-dir $d --script $d/bad.script 2>&1); s=$?; echo \"$out\"; \
     [ $s -ne 0 ] && echo \"$out\" | grep -q 'bad.script:3: unknown event' && ! [ -e $d/Recording.caf ]")
  set_tests_properties(program.script_error PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # Without a display the program says so in one line and runs headless.
  add_test(NAME program.no_display COMMAND sh -c
    "d=${_run}/no-display; rm -rf $d; \
     out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER= $<TARGET_FILE:brumelo> --frames 5 --data-dir $d --screenshot $d/last.png 2>&1); s=$?; \
     echo \"$out\"; [ $s -eq 0 ] && [ $(echo \"$out\" | grep -c 'running headless') -eq 1 ] && [ -s $d/last.png ] && [ -d $d ]")
  set_tests_properties(program.no_display PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # Each alert shown logs one line; a double tap shows the menu, a triple tap does not.
  add_test(NAME program.alert_lines COMMAND sh -c
    "d=${_run}/alerts; rm -rf $d; mkdir -p $d; \
     printf '1 button 0\\n3 touch-down 1 100 100\\n3 touch-up 1 100 100 3\\n5 touch-down 1 100 100\\n5 touch-up 1 100 100 2\\n8 button 3\\n10 button 0\\n' > $d/taps.script; \
     out=$($<TARGET_FILE:brumelo> --headless --frames 12 --data-dir $d --script $d/taps.script 2>&1); s=$?; echo \"$out\"; \
     [ $s -eq 0 ] && [ \"$(echo \"$out\" | grep '^alert:' | tr '\\n' '|')\" = 'alert: Brumelo|alert: Brumelo|alert: Additional options|' ]")
  set_tests_properties(program.alert_lines PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # Choices on the command line are remembered; the file's are used next time; a file that
  # cannot be understood is said in one line and the run goes on with the defaults.
  add_test(NAME program.remembered_choices COMMAND sh -c
    "d=${_run}/choices; rm -rf $d; mkdir -p $d; export XDG_CONFIG_HOME=$d/config; f=$d/config/brumelo/settings.ini; \
     $<TARGET_FILE:brumelo> --headless --frames 2 --data-dir $d --look classic --mic-gain 3 2>/dev/null && \
     grep -q 'look = classic' $f && grep -q 'mic-gain = 3.0' $f && grep -q 'regrow = off' $f && \
     $<TARGET_FILE:brumelo> --headless --frames 2 --data-dir $d --regrow 2>/dev/null && \
     grep -q 'look = classic' $f && grep -q 'regrow = on' $f && \
     printf 'look = frosted\\n' > $f && out=$($<TARGET_FILE:brumelo> --headless --frames 2 --data-dir $d 2>&1) && \
     echo \"$out\" && [ $(echo \"$out\" | grep -c 'settings in .* not understood') -eq 1 ] && grep -q frosted $f")
  set_tests_properties(program.remembered_choices PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # The shipped demonstration runs and writes its pictures.
  add_test(NAME program.demo COMMAND sh -c
    "d=${_run}/demo; rm -rf $d; $<TARGET_FILE:brumelo> --headless --seed 1 --data-dir $d \
     --script ${PROJECT_SOURCE_DIR}/resources/demo.script --screenshot $d/demo.png && [ -s $d/demo.png ] && [ -s $d/CustomBG.png ]")
  set_tests_properties(program.demo PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # Redrawing only what changed gives the frames a full redraw gives.
  add_test(NAME program.partial_redraw COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/redraw_test.sh
    $<TARGET_FILE:brumelo> ${PROJECT_SOURCE_DIR}/resources/demo.script ${_run}/redraw)
  set_tests_properties(program.partial_redraw PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # Drawn at two pixels a point, the demonstration is twice as large and, brought back to one,
  # the picture drawn at one.
  add_test(NAME program.render_scale COMMAND sh -c
    "d=${_run}/render-scale; rm -rf $d; mkdir -p $d; \
     for s in 1 2; do $<TARGET_FILE:brumelo> --headless --seed 1 --render-scale $s --data-dir $d/data$s \
       --script ${PROJECT_SOURCE_DIR}/resources/demo.script --screenshot $d/demo$s.png || exit 1; done; \
     [ \"$(identify -format '%wx%h' $d/demo2.png)\" = 640x960 ] || exit 1; \
     convert $d/demo2.png -filter box -resize 320x480 $d/back.png; \
     e=$(compare -metric RMSE $d/demo1.png $d/back.png /dev/null 2>&1 | sed 's/.*(\\(.*\\))/\\1/'); \
     echo \"difference $e\"; awk -v e=$e 'BEGIN { exit !(e < 0.06) }'")
  set_tests_properties(program.render_scale PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # A 640 x 960 picture of single-pixel detail, wiped clear at two pixels a point, keeps every
  # pixel of its detail in the glass look (the spread of a sharp checkerboard is 0.5).
  add_test(NAME program.dense_picture COMMAND sh -c
    "d=${_run}/dense-picture; rm -rf $d; mkdir -p $d;      convert -size 640x960 pattern:gray50 $d/checker.png || exit 1;      printf '1 button 0\\n5 touch-down 1 60 240\\n6 touch-move 1 160 240\\n7 touch-move 1 260 240\\n8 touch-up 1 260 240\\n' >$d/wipe.script;      XDG_CONFIG_HOME=$d/config $<TARGET_FILE:brumelo> --headless --look glass --render-scale 2 --data-dir $d/data        --background $d/checker.png --script $d/wipe.script --frames 12 --screenshot $d/wiped.png || exit 1;      s=$(convert $d/wiped.png -crop 100x10+270+475 -colorspace gray -format '%[fx:standard_deviation]' info:);      echo \"spread $s\"; awk -v s=$s 'BEGIN { exit !(s > 0.35) }'")
  set_tests_properties(program.dense_picture PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # The glass look shows its photograph until a picture is chosen, on the first launch and the
  # next (the stored picture is still the drawn evening, as the classic look shows it); a chosen
  # picture, even the evening itself, replaces it.
  add_test(NAME program.glass_default COMMAND sh -c
    "d=${_run}/glass-default; rm -rf $d; mkdir -p $d; \
     run() { n=$1; shift; XDG_CONFIG_HOME=$d/config $<TARGET_FILE:brumelo> --headless --seed 1 \
       --look glass --data-dir $d/data --frames 20 --screenshot $d/$n.png \"\$@\" 2>/dev/null || exit 1; }; \
     run first && cmp -s $d/data/CustomBG.png ${PROJECT_SOURCE_DIR}/resources/back1.png && \
     run second && cmp $d/first.png $d/second.png && \
     run picked --background ${PROJECT_SOURCE_DIR}/resources/back1.png && \
     ! cmp -s $d/first.png $d/picked.png")
  set_tests_properties(program.glass_default PROPERTIES LABELS app ENVIRONMENT "${_env}")

  # The real window under Xvfb: a mouse stroke, then the same through touch fingers.
  foreach(mode mouse fingers)
    add_test(NAME program.window_${mode} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/window_test.sh
      $<TARGET_FILE:brumelo> ${mode})
    set_tests_properties(program.window_${mode} PROPERTIES LABELS app SKIP_RETURN_CODE 77
      TIMEOUT 300 ENVIRONMENT "${_env}")
  endforeach()
endif()
