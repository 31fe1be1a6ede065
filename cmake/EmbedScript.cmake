file(READ ${INPUT} HEX HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," BYTES "${HEX}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#include <cstdint>\n#include \"toolkit/core/Resources.h\"\n\nnamespace {\nconst std::uint8_t kData[] = {${BYTES}};\n}\n\nnamespace velmora {\nvoid RegisterResource_${NAME}() { RegisterResource(\"${NAME}\", kData); }\n}\n")
