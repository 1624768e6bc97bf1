# Writes a C++ source that holds the bytes of the screen definition, so that the definition is
# compiled into the library. Run at build time: cmake -DINPUT=<json> -DOUTPUT=<cpp> -P <this file>.
#
# The bytes are written as character literals rather than one string literal: no delimiter can
# clash with the text and no compiler limit on the length of a literal applies.

if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "EmbedDefinition.cmake needs -DINPUT=... and -DOUTPUT=...")
endif()

file(READ "${INPUT}" hex HEX)
string(REPEAT "[0-9a-f]" 48 chunk)
string(REGEX REPLACE "(${chunk})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${INPUT}; edit the JSON, not this file.\n"
"#include \"screen/Embedded.h\"\n\n"
"namespace screen {\n"
"namespace {\n"
"constexpr char kDefinitionBytes[] = {\n${bytes}'\\0'};\n"
"} // namespace\n\n"
"std::string_view embeddedDefinitionJson() { return {kDefinitionBytes, sizeof kDefinitionBytes - 1}; }\n\n"
"} // namespace screen\n")
# Leave the file untouched when nothing changed, so that nothing recompiles needlessly.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
