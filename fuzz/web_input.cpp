// What a browser sends: the request as the server's reception frames it,
// and the body as the input parser reads it.
#include "frontends/web/Input.h"
#include "frontends/web/Reception.h"
#include "fuzz/Fuzz.h"

namespace tl::fuzz {

int webInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  web::Framing framing = web::frameRequest(bytes, 8 * 1024, 16 * 1024);
  if (framing.kind == web::Framing::Kind::Complete) check(framing.length <= size, "a request longer than its bytes");
  web::Parsed parsed = web::parseCommand(bytes);
  check(parsed.command.has_value() != !parsed.error.empty(), "a refusal without a reason, or a reason for nothing");
  return 0;
}

}  // namespace tl::fuzz
