# Writes the page's trusted-keys.json: every .pub file of KEYS_DIR, as it is,
# and whether the page requires signed firmware.
#   cmake -DKEYS_DIR=... -DREQUIRE=ON|OFF -DOUT=.../trusted-keys.json -P trusted_keys.cmake
file(GLOB keys ${KEYS_DIR}/*.pub)
list(SORT keys)
set(entries "")
foreach(key ${keys})
  get_filename_component(name ${key} NAME)
  file(READ ${key} text)
  # JSON string escapes for the text of a .pub file.
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  list(APPEND entries "    {\"name\": \"${name}\", \"text\": \"${text}\"}")
endforeach()
string(REPLACE ";" ",\n" entries "${entries}")
if(REQUIRE)
  set(require true)
else()
  set(require false)
endif()
file(WRITE ${OUT} "{\n  \"requireSignature\": ${require},\n  \"keys\": [\n${entries}\n  ]\n}\n")
