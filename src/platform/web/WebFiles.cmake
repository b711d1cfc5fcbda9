# After each link: the page with the sizes of what it downloads (for its progress bar), and the
# service worker listing the page's files under a version made of their hashes.
#   cmake -DDIR=... -DPAGE=brumelo.html.in -DWORKER=sw.js.in -DFILES="a|b|..." -P WebFiles.cmake

file(SIZE ${DIR}/brumelo.wasm BRUMELO_WASM_BYTES)
file(SIZE ${DIR}/brumelo.data BRUMELO_DATA_BYTES)
configure_file(${PAGE} ${DIR}/brumelo.html @ONLY)

string(REPLACE "|" ";" FILES "${FILES}")
set(hashes "")
set(listed "")
foreach(name ${FILES})
  file(SHA256 ${DIR}/${name} hash)
  string(APPEND hashes "${name} ${hash}\n")
  list(APPEND listed "'${name}'")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 BRUMELO_WEB_VERSION)
list(JOIN listed ", " BRUMELO_WEB_FILES)
configure_file(${WORKER} ${DIR}/sw.js @ONLY)
