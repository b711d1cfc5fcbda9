# After each link: the page with the sizes of what it downloads (for its progress bar), and the
# service worker listing the page's files under a version made of their hashes. The page asks for
# its files under that version, so that a new page is never served an older build's files.
#   cmake -DDIR=... -DPAGE=brumelo.html.in -DWORKER=sw.js.in -DFILES="a|b|..." -P WebFiles.cmake

file(SIZE ${DIR}/brumelo.wasm BRUMELO_WASM_BYTES)
file(SIZE ${DIR}/brumelo.data BRUMELO_DATA_BYTES)

string(REPLACE "|" ";" FILES "${FILES}")
# The page itself is made from its template and the other files (their sizes).
file(SHA256 ${PAGE} hash)
set(hashes "brumelo.html.in ${hash}\n")
set(listed "")
foreach(name ${FILES})
  list(APPEND listed "'${name}'")
  if(name STREQUAL "brumelo.html")
    continue()
  endif()
  file(SHA256 ${DIR}/${name} hash)
  string(APPEND hashes "${name} ${hash}\n")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 BRUMELO_WEB_VERSION)
list(JOIN listed ", " BRUMELO_WEB_FILES)
configure_file(${PAGE} ${DIR}/brumelo.html @ONLY)
configure_file(${WORKER} ${DIR}/sw.js @ONLY)
