# The browser build: the same subsystem libraries over the browser's platform units, and the
# page (brumelo.html, .js, .wasm and .data with the pictures and sounds it preloads).

set(_web ${CMAKE_CURRENT_SOURCE_DIR}/platform/web)

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
  configure_file(${_web}/brumelo.html.in ${CMAKE_CURRENT_BINARY_DIR}/brumelo.html COPYONLY)
  configure_file(${_web}/page.js ${CMAKE_CURRENT_BINARY_DIR}/page.js COPYONLY)
  configure_file(${_web}/page.css ${CMAKE_CURRENT_BINARY_DIR}/page.css COPYONLY)
  # The desktop's demonstration, for brumelo.html?script=demo.script&seed=1.
  configure_file(${PROJECT_SOURCE_DIR}/resources/demo.script ${CMAKE_CURRENT_BINARY_DIR}/demo.script
    COPYONLY)
  set(_preload)
  foreach(_name Foggy1-HQ.png back1.png Droplet1.png Droplet2.png
          sound2.caf sound3.caf sound4.caf sound5.caf)
    list(APPEND _preload
      "SHELL:--preload-file ${PROJECT_SOURCE_DIR}/resources/${_name}@/resources/${_name}")
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
    -sEXPORTED_FUNCTIONS=_main,_malloc,_free,_brumelo_storage_failed
    -sEXPORTED_RUNTIME_METHODS=ccall
    -lGL
    -lopenal
    -lidbfs.js
    "SHELL:--js-library ${_web}/library_brumelo.js"
    "SHELL:--pre-js ${_web}/pre.js"
    ${_preload})
  set_property(TARGET brumelo APPEND PROPERTY LINK_DEPENDS
    ${_web}/library_brumelo.js ${_web}/pre.js)
  # Debian's emcc finds its JavaScript tools (acorn) only through NODE_PATH.
  if(EXISTS /usr/share/nodejs/acorn)
    set_property(TARGET brumelo PROPERTY RULE_LAUNCH_LINK
      "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")
  endif()
endfunction()
