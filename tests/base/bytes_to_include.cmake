# cmake -DINPUT=<binary file> -DOUTPUT=<include file> -P bytes_to_include.cmake
# Writes the bytes of INPUT as a comma-separated list for an array initialiser.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "${bytes}\n")
