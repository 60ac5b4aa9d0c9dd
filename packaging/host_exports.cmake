# What the shipped programs export: the bootloader host's public functions
# (CyBtldr_..., marked so in bootloader/) and nothing else. Hidden
# visibility does not reach everything: a libstdc++ header's inline function
# keeps a table of its own (std::from_chars' digit table) that g++ makes a
# GNU-unique object, and such an object is exported whatever the program's
# visibility. The version script makes every other symbol local.
#
# A sanitized program must still export its runtime's interceptors (malloc,
# the allocation operators, ...), or the shared libraries would not find
# them: the compiler names them in the dynamic lists it passes to the linker
# (clang's runtime .syms files), and these stay global too. They are also
# written to runtime_exports.txt, one name or pattern a line (none where the
# runtime is a shared library or absent), for the test that reads the
# programs' dynamic symbol tables (tests/bootloader/test_exports.cpp).
set(VIREON_RUNTIME_EXPORTS "")
if(VIREON_SANITIZE)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/host_exports_probe.cpp "int main() { return 0; }\n")
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} "-###" -fsanitize=address,undefined ${CMAKE_CURRENT_BINARY_DIR}/host_exports_probe.cpp
    ERROR_VARIABLE driver OUTPUT_QUIET)
  string(REGEX MATCHALL "--dynamic-list=[^\" ]+" lists "${driver}")
  foreach(list ${lists})
    string(REPLACE "--dynamic-list=" "" list "${list}")
    list(APPEND VIREON_RUNTIME_EXPORTS ${list})
  endforeach()
endif()

set(runtime_globals "")
foreach(list ${VIREON_RUNTIME_EXPORTS})
  file(READ ${list} entries)
  string(REGEX REPLACE "{|};?" "" entries "${entries}")
  string(APPEND runtime_globals "${entries}")
endforeach()
string(REGEX REPLACE "[ \t;]+" "" runtime_names "${runtime_globals}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/runtime_exports.txt "${runtime_names}")
set(VIREON_HOST_EXPORTS_MAP ${CMAKE_CURRENT_BINARY_DIR}/host_exports.map)
file(WRITE ${VIREON_HOST_EXPORTS_MAP} "{\n  global:\n    CyBtldr_*;\n${runtime_globals}\n  local: *;\n};\n")

# Exports exactly the host's public functions from `target` (and a
# sanitizer runtime's own), which links the whole host library.
function(vireon_export_host_functions target)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON LINK_DEPENDS ${VIREON_HOST_EXPORTS_MAP})
  target_link_options(${target} PRIVATE "LINKER:--version-script=${VIREON_HOST_EXPORTS_MAP}")
endfunction()
