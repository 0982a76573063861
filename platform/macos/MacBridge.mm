#include "platform/macos/MacBridge.h"

#import <objc/runtime.h>

#include <cmath>
#include <cstdint>

// The receiving end of every action the adapter wires up. The methods it
// answers are added at run time, one per action name, all with the same
// implementation; the selector itself tells which action it was.
@interface TLActionBridge : NSObject {
 @public
  std::weak_ptr<tl::Object> sender;
  std::weak_ptr<tl::Responder> responder;
}
@end

@implementation TLActionBridge
@end

namespace {

void forwardAction(id self, SEL cmd, id /*appKitSender*/) {
  TLActionBridge* bridge = (TLActionBridge*)self;
  // Both stay alive for the whole call: the action may well drop the last
  // other owner of either.
  std::shared_ptr<tl::Responder> responder = bridge->responder.lock();
  if (!responder) return;
  std::shared_ptr<tl::Object> sender = bridge->sender.lock();
  responder->performAction(tl::mac::ActionBinding::nameOf(cmd), sender.get());
}

double finiteOr(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

namespace tl::mac {

std::string validUTF8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size(), i = 0;
  auto cont = [&](size_t k) { return k < n && (s[k] & 0xC0) == 0x80; };
  while (i < n) {
    unsigned char c = s[i];
    size_t len = 0;
    if (c < 0x80) {
      len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = cont(i + 1) ? 2 : 0;
    } else if (c >= 0xE0 && c <= 0xEF) {
      // No overlong forms, no UTF-16 surrogates.
      unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
      len = i + 1 < n && s[i + 1] >= lo && s[i + 1] <= hi && cont(i + 2) ? 3 : 0;
    } else if (c >= 0xF0 && c <= 0xF4) {
      // Nothing overlong, nothing beyond U+10FFFF.
      unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
      len = i + 1 < n && s[i + 1] >= lo && s[i + 1] <= hi && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    if (len) {
      out.append(bytes, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

NSString* toNS(const std::string& text) {
  NSString* s = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
  if (s) return s;
  std::string clean = validUTF8(text);
  s = [[NSString alloc] initWithBytes:clean.data() length:clean.size() encoding:NSUTF8StringEncoding];
  return s ? s : @"";
}

std::string fromNS(NSString* text) {
  if (!text) return {};
  NSData* data = [text dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
  if (!data) return {};
  return std::string(static_cast<const char*>(data.bytes), data.length);
}

NSString* toNSPath(const std::string& path) {
  if (path.empty()) return @"";
  NSString* s = [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.data() length:path.size()];
  return s ? s : toNS(path);
}

std::string fromNSPath(NSString* path) {
  if (!path || path.length == 0) return {};
  // fileSystemRepresentation raises for a string no file system could hold.
  @try {
    const char* fs = path.fileSystemRepresentation;
    if (fs) return std::string(fs);
  } @catch (NSException*) {
  }
  return fromNS(path);
}

void describeError(NSError* error, std::string* out, const char* fallback) {
  if (!out) return;
  *out = error ? fromNS(error.localizedDescription) : std::string(fallback);
}

NSRect toNS(Rect r) {
  return NSMakeRect(finiteOr(r.x, 0), finiteOr(r.y, 0), finiteOr(r.width, 0), finiteOr(r.height, 0));
}

Rect fromNS(NSRect r) { return {r.origin.x, r.origin.y, r.size.width, r.size.height}; }

Event fromNS(NSEvent* event) {
  Event e;
  if (!event) return e;
  // tl's event types and modifier bits carry AppKit's own values.
  e.type = static_cast<EventType>(static_cast<unsigned>(event.type));
  e.modifierFlags = static_cast<uint64_t>(event.modifierFlags);
  return e;
}

NSColor* systemColor(const Color& color) {
  const std::string& n = color.name;
  NSColor* base = nil;
  if (n == "labelColor") base = [NSColor labelColor];
  else if (n == "secondaryLabelColor") base = [NSColor secondaryLabelColor];
  else if (n == "tertiaryLabelColor") base = [NSColor tertiaryLabelColor];
  else if (n == "separatorColor") base = [NSColor separatorColor];
  else if (n == "windowBackgroundColor") base = [NSColor windowBackgroundColor];
  else if (n == "controlBackgroundColor") base = [NSColor controlBackgroundColor];
  else if (n == "blackColor") base = [NSColor blackColor];
  else if (n == "whiteColor") base = [NSColor whiteColor];
  else if (n == "clearColor") base = [NSColor clearColor];
  if (!base) return nil;
  double alpha = std::isnan(color.alpha) ? 1.0 : std::fmin(1.0, std::fmax(0.0, color.alpha));
  return alpha >= 1.0 ? base : [base colorWithAlphaComponent:alpha];
}

NSFontWeight toNS(FontWeight weight) {
  switch (weight) {
    case FontWeight::Medium: return NSFontWeightMedium;
    case FontWeight::Semibold: return NSFontWeightSemibold;
    case FontWeight::Regular: break;
  }
  return NSFontWeightRegular;
}

NSFont* systemFont(const Font& font) {
  // Size 0 asks AppKit for the standard size.
  CGFloat size = std::isfinite(font.size) && font.size > 0 ? font.size : 0;
  return font.monospacedDigits ? [NSFont monospacedDigitSystemFontOfSize:size weight:toNS(font.weight)]
                               : [NSFont systemFontOfSize:size weight:toNS(font.weight)];
}

ActionBinding::ActionBinding() : bridge_([[TLActionBridge alloc] init]) {}

ActionBinding::~ActionBinding() = default;

void ActionBinding::setSender(std::weak_ptr<Object> sender) {
  ((TLActionBridge*)bridge_)->sender = std::move(sender);
}

void ActionBinding::setResponder(std::weak_ptr<Responder> responder) {
  ((TLActionBridge*)bridge_)->responder = std::move(responder);
}

std::shared_ptr<Responder> ActionBinding::responder() const {
  return ((TLActionBridge*)bridge_)->responder.lock();
}

SEL ActionBinding::selectorFor(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return NULL;
  SEL selector = NSSelectorFromString(toNS(name));
  if (!selector || [NSObject instancesRespondToSelector:selector]) return NULL;
  // Already there for an earlier control with the same action: harmless.
  class_addMethod([TLActionBridge class], selector, reinterpret_cast<IMP>(&forwardAction), "v@:@");
  return selector;
}

std::string ActionBinding::nameOf(SEL selector) {
  if (!selector) return {};
  return fromNS(NSStringFromSelector(selector));
}

}  // namespace tl::mac
