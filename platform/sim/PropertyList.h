#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace tl::sim {

// Property lists as the simulated Mac keeps them on disk: the XML form and
// Foundation's binary form ("bplist00").
//
// Reading is strict on purpose: whatever it accepts, writing gives back
// exactly (every string and key byte for byte, every number and date bit
// for bit). Anything it cannot promise that for is refused with a reason,
// so callers treat such a file as damaged and keep its bytes instead of
// rewriting it with something missing: strings that are not UTF-8 text,
// integers beyond 64 bits, keyed-archiver UIDs, sets, a dictionary that
// repeats a key, nesting deeper than kPlistMaxDepth, shared objects that
// would unfold into more values than the file could honestly hold.
//
// Writing picks XML, which a person can read and edit, whenever XML can
// carry every value; otherwise (a string or key holding U+0000 or another
// character XML 1.0 forbids, a NaN, a date with a fraction of a second or
// outside the years 1 to 9999) it writes the binary form, as Foundation
// itself does for every file.
constexpr int kPlistMaxDepth = 256;

// The value, or nullopt with the reason in *why.
std::optional<Value> readPropertyList(std::string_view bytes, std::string* why = nullptr);

enum class PlistFormat { Automatic, Xml, Binary };
// The file's bytes, or nullopt with the reason in *why (a string that is not
// UTF-8, a dictionary that repeats a key, nesting too deep, or a value the
// asked-for format cannot carry).
std::optional<std::string> writePropertyList(const Value& value, PlistFormat format = PlistFormat::Automatic,
                                             std::string* why = nullptr);

// Equal down to the bits: NaN equals the same NaN, 0.0 differs from -0.0.
bool identicalValues(const Value& a, const Value& b);

// The dictionaries inside with a repeated key reduced to its last value, in
// the place of its first: what assigning the pairs one by one leaves.
Value withoutRepeatedKeys(Value value);

}  // namespace tl::sim
