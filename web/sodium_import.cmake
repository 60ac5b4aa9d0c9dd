# Copies libsodium-wrappers' module with its import of "libsodium" pointed
# at the page's own copy, ./sodium.js.
#   cmake -DIN=... -DOUT=... -P sodium_import.cmake
file(READ ${IN} text)
string(REPLACE "from\"libsodium\"" "from\"./sodium.js\"" text "${text}")
string(REPLACE "from \"libsodium\"" "from \"./sodium.js\"" text "${text}")
string(FIND "${text}" "./sodium.js" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${IN} does not import libsodium as expected")
endif()
file(WRITE ${OUT} "${text}")
