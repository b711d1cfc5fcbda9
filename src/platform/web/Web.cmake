# The browser build: the same subsystem libraries over the browser's platform units, and the
# page (brumelo.html, .js, .wasm and .data with the pictures and sounds it preloads).

set(_web ${CMAKE_CURRENT_SOURCE_DIR}/platform/web)
set(BRUMELO_WEB_SOUNDS sound2.caf sound3.caf sound4.caf sound5.caf)
# Fetched once the program runs (pre.js), as the sounds: the first frame shows a stand-in.
set(BRUMELO_WEB_LATER window-view.jpg ${BRUMELO_WEB_SOUNDS})

target_link_libraries(brumelo_physics PUBLIC brumelo_render)
target_link_libraries(brumelo_render PUBLIC brumelo_physics brumelo_platform)
target_link_libraries(brumelo_audio PUBLIC brumelo_platform)
target_link_libraries(brumelo_steam PUBLIC brumelo_physics brumelo_render brumelo_audio brumelo_app)
target_link_libraries(brumelo_app PUBLIC brumelo_steam brumelo_render brumelo_audio brumelo_platform)

function(brumelo_web_program)
  add_executable(brumelo ${_web}/main.cpp)
  target_link_libraries(brumelo PRIVATE brumelo_core)
  brumelo_warnings(brumelo)
  # The page is ours (emcc's own HTML step fails in this version); it loads brumelo.js.
  set_target_properties(brumelo PROPERTIES SUFFIX ".js")
  configure_file(${_web}/page.js ${CMAKE_CURRENT_BINARY_DIR}/page.js COPYONLY)
  configure_file(${_web}/page.css ${CMAKE_CURRENT_BINARY_DIR}/page.css COPYONLY)
  # The desktop's demonstration, for brumelo.html?script=demo.script&seed=1.
  configure_file(${PROJECT_SOURCE_DIR}/resources/demo.script ${CMAKE_CURRENT_BINARY_DIR}/demo.script
    COPYONLY)
  set(_preload)
  foreach(_name Foggy1-HQ.png back1.png window-view-first.jpg Droplet1.png Droplet2.png)
    list(APPEND _preload
      "SHELL:--preload-file ${PROJECT_SOURCE_DIR}/resources/${_name}@/resources/${_name}")
  endforeach()
  # The sounds and the whole photo are fetched after the program has started (pre.js).
  foreach(_name ${BRUMELO_WEB_LATER})
    configure_file(${PROJECT_SOURCE_DIR}/resources/${_name} ${CMAKE_CURRENT_BINARY_DIR}/${_name}
      COPYONLY)
  endforeach()
  target_link_options(brumelo PRIVATE
    -fexceptions
    -sENVIRONMENT=web
    -sMIN_WEBGL_VERSION=2
    -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=33554432
    -sFORCE_FILESYSTEM=1
    --use-preload-plugins
    -sEXPORTED_FUNCTIONS=_main,_malloc,_free,_brumelo_storage_failed,_brumelo_sounds_arrived,_brumelo_glass_picture_arrived
    -sEXPORTED_RUNTIME_METHODS=ccall
    -lGL
    -lopenal
    "SHELL:--js-library ${_web}/library_brumelo.js"
    "SHELL:--pre-js ${_web}/pre.js"
    ${_preload})
  set_property(TARGET brumelo APPEND PROPERTY LINK_DEPENDS
    ${_web}/library_brumelo.js ${_web}/pre.js)
  brumelo_web_page()
  # Debian's emcc finds its JavaScript tools (acorn) only through NODE_PATH.
  if(EXISTS /usr/share/nodejs/acorn)
    set_property(TARGET brumelo PROPERTY RULE_LAUNCH_LINK
      "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")
  endif()
endfunction()

# What makes the page installable and work offline: its manifest and icons (drawn from
# brumelo.svg), and a service worker versioned by the files' hashes, made after each link.
function(brumelo_web_page)
  set(_out ${CMAKE_CURRENT_BINARY_DIR})
  find_program(BRUMELO_RSVG_CONVERT rsvg-convert REQUIRED)
  find_program(BRUMELO_PYTHON python3 REQUIRED)
  set(_icons icon-192.png icon-512.png icon-maskable-512.png apple-touch-icon.png)
  list(TRANSFORM _icons PREPEND ${_out}/ OUTPUT_VARIABLE _icon_paths)
  add_custom_command(OUTPUT ${_icon_paths}
    COMMAND ${BRUMELO_PYTHON} ${PROJECT_SOURCE_DIR}/tools/web_icons.py
            ${PROJECT_SOURCE_DIR}/resources/brumelo.svg ${_out}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/web_icons.py ${PROJECT_SOURCE_DIR}/resources/brumelo.svg
    COMMENT "Drawing the page's icons")
  configure_file(${_web}/brumelo.webmanifest ${_out}/brumelo.webmanifest COPYONLY)
  set(_files brumelo.html page.js page.css brumelo.js brumelo.wasm brumelo.data brumelo.webmanifest
    ${_icons} ${BRUMELO_WEB_LATER})
  list(JOIN _files "|" _files)
  add_custom_command(OUTPUT ${_out}/brumelo.html ${_out}/sw.js
    COMMAND ${CMAKE_COMMAND} -DDIR=${_out} -DPAGE=${_web}/brumelo.html.in
            -DWORKER=${_web}/sw.js.in -DFILES=${_files} -P ${_web}/WebFiles.cmake
    DEPENDS brumelo ${_web}/brumelo.html.in ${_web}/sw.js.in ${_web}/WebFiles.cmake
            ${_out}/brumelo.webmanifest ${_icon_paths}
    COMMENT "The page and its service worker" VERBATIM)
  add_custom_target(brumelo_page ALL DEPENDS ${_out}/brumelo.html ${_out}/sw.js)
endfunction()
