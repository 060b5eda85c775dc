# Writes the page's service worker (sw.js) into PAGE from TEMPLATE: the
# files it keeps (FILES, relative to PAGE) and a cache name made of the
# project's VERSION and a hash of those files' names and contents, so that
# every build that changes the page gets a cache of its own.
set(digests "")
foreach(file ${FILES})
  file(SHA256 ${PAGE}/${file} digest)
  string(APPEND digests "${file} ${digest}\n")
endforeach()
string(SHA256 hash "${digests}")
string(SUBSTRING ${hash} 0 16 hash)
set(HILLCAR_CACHE "hillcar-${VERSION}-${hash}")
list(TRANSFORM FILES REPLACE "(.+)" "\"\\1\"")
list(JOIN FILES ", " joined)
set(HILLCAR_FILES "[${joined}]")
configure_file(${TEMPLATE} ${PAGE}/sw.js @ONLY)
