#pragma once
// What the two forms of a property list share with the code that picks
// between them; nothing outside the reader and writer includes this.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace tl::sim::plist {

// One strictly decoded UTF-8 sequence at s[i]: no overlong forms, no
// surrogates, nothing past U+10FFFF.
bool nextCodePoint(std::string_view s, size_t& i, uint32_t& cp);
bool isUtf8(std::string_view s);
void appendUtf8(std::string& out, uint32_t cp);
// UTF-16 code units (two bytes each, in the given order) appended as UTF-8;
// nullptr, or what is wrong with them (a lone surrogate).
const char* appendUtf16(std::string& out, std::string_view units, bool bigEndian);
// UTF-32 code units (four bytes each) appended as UTF-8; nullptr, or what
// is wrong with them (a surrogate, or past U+10FFFF).
const char* appendUtf32(std::string& out, std::string_view units, bool bigEndian);
// The text of a file as UTF-8: after a byte-order mark of UTF-32, UTF-16 or
// UTF-8, converted (into storage) or as it stands; without one, the bytes.
std::optional<std::string_view> decodedText(std::string_view bytes, std::string& storage, std::string& error);
// The characters XML 1.0 allows in a document.
bool isXmlChar(uint32_t cp);

uint64_t doubleToBits(double d);
double bitsToDouble(uint64_t bits);

// The XML form (PlistXml.cpp).
bool xmlCanCarryText(std::string_view s);
bool xmlCanCarryDate(double secondsSince2001);
std::optional<Value> readXml(std::string_view bytes, std::string& error);
std::string writeXml(const Value& value);

// The old text form of NeXTSTEP and OpenStep, read only (PlistText.cpp).
std::optional<Value> readOpenStep(std::string_view text, std::string& error);

// Foundation's binary form, "bplist00" (PlistBinary.cpp).
std::optional<Value> readBinary(std::string_view bytes, std::string& error);
std::string writeBinary(const Value& value);

}  // namespace tl::sim::plist
