#pragma once
#include <cstddef>
#include <vector>

namespace tl::web {

// The page's files, compiled into the program (see Embed.cmake).
struct StaticFile {
  const char* path;  // "/app.js"
  const char* contentType;
  const unsigned char* data;
  size_t size;
};

const std::vector<StaticFile>& staticFiles();

}  // namespace tl::web
