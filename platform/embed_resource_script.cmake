# Writes a C++ source that defines the bytes of a resource script, for
# tamsink_embed_resource_script. Run at configure time with INPUT and OUTPUT
# set; the output is replaced only when its text changes, so an unchanged
# script rebuilds nothing.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "char(0x\\1)," bytes "${hex}")
# Twelve bytes to a line keeps the generated file readable (CMake's regular
# expressions have no counted repetition, so the group is written out).
set(line_pattern "")
foreach(i RANGE 1 12)
  string(APPEND line_pattern "char\\(0x[0-9a-f][0-9a-f]\\),")
endforeach()
string(REGEX REPLACE "(${line_pattern})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT} by embed_resource_script.cmake. Do not edit.
#include \"embedded_resource_script.h\"

extern const char kEmbeddedResourceScript[] = {
  ${bytes}char(0)};
extern const size_t kEmbeddedResourceScriptSize = ${size};
")
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.new")
