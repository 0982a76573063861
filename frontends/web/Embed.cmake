# Writes OUTPUT: a C++ source holding every file of INPUTS as bytes, looked
# up by its name ("/app.js"). Bytes rather than string literals, so no file
# content can ever close a literal early or trip length limits.
set(body "")
set(table "")
set(index 0)
foreach(path IN LISTS INPUTS)
  get_filename_component(name ${path} NAME)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND body "const unsigned char file${index}[] = {\n${bytes}0};\n")
  string(APPEND table "    {\"/${name}\", \"${type}\", file${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}
"// Generated from frontends/web/static by Embed.cmake; do not edit.
#include \"frontends/web/StaticFiles.h\"

namespace tl::web {
namespace {
${body}}  // namespace

const std::vector<StaticFile>& staticFiles() {
  static const std::vector<StaticFile> files = {
${table}  };
  return files;
}

}  // namespace tl::web
")
