#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace tl::sim {

// Property lists as the simulated Mac keeps them on disk: the XML form and
// Foundation's binary form ("bplist00"), and, read only, the old text form
// of OpenStep.
//
// What is read is read as CoreFoundation reads it, and whatever is read,
// writing gives back exactly (every string and key byte for byte, every
// number and date bit for bit). Where CoreFoundation reads a file in a way
// that cannot be promised so, the file is refused with a reason, so callers
// treat it as damaged and keep its bytes instead of rewriting it with
// something missing: strings that are not UTF-8 text, integers that fit
// neither 64 bits signed nor 64 bits unsigned, keyed-archiver UIDs, sets,
// nesting deeper than kPlistMaxDepth, shared objects that would unfold into
// far more than the file holds (see unfoldedBytesLimit), a binary
// dictionary that repeats a key.
//
// An XML or text dictionary that names a key twice keeps the last value, in
// the place of the first, as Foundation does. XML is read as an XML parser
// reads it: UTF-8, or UTF-16 or UTF-32 with a byte-order mark; line ends
// normalised to a line feed; character references and the five entities;
// integers in decimal or, after 0x, hexadecimal; dates of any year from
// -999999 to 999999 (year 0 included, as Foundation's distantPast); base64
// passing over what is outside its alphabet. A binary string marked ASCII
// that holds bytes above 0x7F is read as Latin-1.
//
// Writing picks XML, which a person can read and edit, whenever XML can
// carry every value; otherwise (a string or key holding U+0000 or another
// character XML 1.0 forbids, a NaN, a date with a fraction of a second or
// outside the years XML is read in) it writes the binary form, as
// Foundation itself does for every file. The binary form writes each
// distinct string, number, date and data once and refers to it wherever it
// recurs. The text form is never written.
constexpr int kPlistMaxDepth = 256;

// The binary form shares objects: one string may be referred to many times,
// and is copied at each reference when read. What a file of `size` bytes
// may unfold into: a value for each byte (every value but the root sits
// behind a reference of at least one byte, so only shared collections come
// near it) and text and data of sixteen times the file plus 4 MiB. The
// reader works this out from the references before it copies anything; a
// file past either limit is damaged, so memory and time of reading stay a
// small multiple of the file's size.
constexpr uint64_t unfoldedValuesLimit(uint64_t size) { return size + 4096; }
constexpr uint64_t unfoldedBytesLimit(uint64_t size) { return 16 * size + (uint64_t{4} << 20); }

// The value, or nullopt with the reason in *why.
std::optional<Value> readPropertyList(std::string_view bytes, std::string* why = nullptr);

enum class PlistFormat { Automatic, Xml, Binary };
// The file's bytes, or nullopt with the reason in *why (a string that is not
// UTF-8, a dictionary that repeats a key (no reader makes one), nesting too deep, or a value the
// asked-for format cannot carry).
std::optional<std::string> writePropertyList(const Value& value, PlistFormat format = PlistFormat::Automatic,
                                             std::string* why = nullptr);

// Equal down to the bits: NaN equals the same NaN, 0.0 differs from -0.0.
bool identicalValues(const Value& a, const Value& b);

// The dictionaries inside with a repeated key reduced to its last value, in
// the place of its first: what assigning the pairs one by one leaves.
Value withoutRepeatedKeys(Value value);

}  // namespace tl::sim
