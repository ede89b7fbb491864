# Writes a header that holds a text file as one std::string_view constant.
#   cmake -DINPUT=file -DOUTPUT=header -DNAME=constant -P EmbedText.cmake
# The bytes go in as hexadecimal escapes of a plain string literal, so no
# text of the file can end the literal early.
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${content}")
# One line of the literal per 64 bytes keeps the header readable by tools.
string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){64})" "\\1\"\n    \"" escaped "${escaped}")
file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT_NAME} at build time; do not edit.\n"
    "#pragma once\n#include <string_view>\n\n"
    "inline constexpr std::string_view ${NAME}{\n    \"${escaped}\",\n    ${size}};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
