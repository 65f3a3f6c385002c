# Writes OUTPUT, a C++ source holding every page of the manual under
# MANUAL_DIR as a string, so the programs carry their help and never read
# the source tree at run time. Run by the build (cmake -P).
file(GLOB_RECURSE _pages RELATIVE ${MANUAL_DIR} ${MANUAL_DIR}/*.md)
list(SORT _pages)
set(_out "// Generated from docs/manual by cmake/embed_manual.cmake; do not edit.\n")
string(APPEND _out "#include \"app/manual.h\"\n\nnamespace kinvar {\nnamespace {\n\n")
string(APPEND _out "constexpr ManualPage kPages[] = {\n")
foreach(_page IN LISTS _pages)
  file(READ ${MANUAL_DIR}/${_page} _text)
  string(REGEX REPLACE "\\.md$" "" _name ${_page})
  # Hex escapes keep every byte as it is, whatever the page holds; the
  # literal is split so no compiler limit on one literal applies.
  string(HEX "${_text}" _hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" _escaped "${_hex}")
  string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){64})" "\\1\"\n\"" _escaped "${_escaped}")
  string(LENGTH "${_text}" _length)
  string(APPEND _out "    {\"${_name}\", std::string_view(\"${_escaped}\", ${_length})},\n")
endforeach()
string(APPEND _out "};\n\n}  // namespace\n\n")
string(APPEND _out "std::span<const ManualPage> ManualPages() { return kPages; }\n\n}  // namespace kinvar\n")
file(WRITE ${OUTPUT}.tmp "${_out}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
