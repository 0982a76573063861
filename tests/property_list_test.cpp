// The simulated Mac's property lists: whatever is read is written back
// exactly, and whatever cannot be is refused with a reason, never mangled.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cmath>
#include <limits>

#include "platform/sim/PropertyList.h"

namespace tl::sim {
namespace {

using namespace std::string_literals;

// A binary property list put together object by object (object 0 is the
// root; references are one byte), so the tests can say things no writer
// would.
std::string bplist(const std::vector<std::string>& objects) {
  std::string out = "bplist00";
  std::vector<size_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(out.size());
    out += o;
  }
  size_t table = out.size();
  for (size_t o : offsets) out += {static_cast<char>(o >> 8), static_cast<char>(o)};
  std::string trailer(32, '\0');
  trailer[6] = 2;
  trailer[7] = 1;
  trailer[15] = static_cast<char>(objects.size());
  trailer[30] = static_cast<char>(table >> 8);
  trailer[31] = static_cast<char>(table);
  return out + trailer;
}
std::string ascii(const std::string& s) { return static_cast<char>(0x50 | s.size()) + s; }
std::string utf16(const std::u16string& s) {
  std::string out(1, static_cast<char>(0x60 | s.size()));
  for (char16_t c : s) out += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  return out;
}
std::string dict1(int key, int value) { return {'\xD1', static_cast<char>(key), static_cast<char>(value)}; }

Value roundTrip(const Value& v, std::string* bytes = nullptr) {
  auto written = writePropertyList(v);
  EXPECT_TRUE(written);
  if (bytes) *bytes = written.value_or("");
  std::string why;
  auto back = readPropertyList(written.value_or(""), &why);
  EXPECT_TRUE(back) << why;
  return back.value_or(Value());
}

TEST(PropertyList, WritesBackExactlyWhatItReadsAndRefusesTheRest) {
  // U+0000 in a string and in a key, as Foundation's binary form holds them
  // (the ASCII and the UTF-16 kind): every byte is there, and stays there.
  std::string why;
  auto nulString = readPropertyList(bplist({dict1(1, 2), ascii("a"), ascii("x\0y"s)}), &why);
  ASSERT_TRUE(nulString) << why;
  EXPECT_EQ(*nulString, Value(Value::Dict{{"a", Value("x\0y"s)}}));
  auto nulKey = readPropertyList(bplist({dict1(1, 2), utf16(u"a\0b中"s), ascii("v")}), &why);
  ASSERT_TRUE(nulKey) << why;
  EXPECT_EQ(*nulKey, Value(Value::Dict{{"a\0b中"s, Value("v")}}));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  Value::Array deep;
  for (int k = 0; k < 200; ++k) deep = Value::Array{Value(std::move(deep))};
  const Value awkward(Value::Dict{
      {"a\0b中"s, Value("x\0y\r\x01"s)},
      {"date", Value(Value::Date{0.25})},
      {"old", Value(Value::Date{-1e12})},
      {"nan", Value(nan)},
      {"minus zero", Value(-0.0)},
      {"ints", Value(Value::Array{Value(std::numeric_limits<int64_t>::min()), Value(-1), Value(255), Value(256),
                                  Value(int64_t{1} << 40), Value(std::numeric_limits<int64_t>::max())})},
      {"data", Value(Value::Data{std::vector<uint8_t>(300, 0xA5)})},
      {"deep", Value(deep)},
      {std::string(20, 'k'), Value(std::string(70000, 'v'))}});
  std::string bytes;
  EXPECT_TRUE(identicalValues(roundTrip(awkward, &bytes), awkward));
  EXPECT_EQ(bytes.substr(0, 8), "bplist00");  // XML cannot carry these
  EXPECT_FALSE(identicalValues(Value(0.0), Value(-0.0)));

  // Everything XML can carry goes as XML, escaped where it must be.
  const Value plain(Value::Dict{{"s", Value("a & <b>\r\n\t中")},
                                {"when", Value(Value::Date{-63113904000.0})},  // 0001-01-01T00:00:00Z
                                {"inf", Value(-std::numeric_limits<double>::infinity())},
                                {"x", Value(0.1)},
                                {"empty", Value(Value::Array{})},
                                {"none", Value(Value::Dict{})},
                                {"bytes", Value(Value::Data{{0, 1, 2, 253, 254, 255, 7}})}});
  EXPECT_TRUE(identicalValues(roundTrip(plain, &bytes), plain));
  EXPECT_EQ(bytes.rfind("<?xml", 0), 0u);
  EXPECT_NE(bytes.find("<string>a &amp; &lt;b&gt;&#13;\n\t中</string>"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("<date>0001-01-01T00:00:00Z</date>"), std::string::npos) << bytes;

  // A second opinion: libplist reads what is written here and the other way round.
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "neg", plist_new_uint(static_cast<uint64_t>(-5)));
  plist_dict_set_item(dict, "real", plist_new_real(2.5));
  plist_dict_set_item(dict, "list", plist_new_array());
  plist_array_append_item(plist_dict_get_item(dict, "list"), plist_new_string("中文"));
  plist_array_append_item(plist_dict_get_item(dict, "list"), plist_new_bool(1));
  const Value expected(Value::Dict{{"neg", Value(-5)},
                                   {"real", Value(2.5)},
                                   {"list", Value(Value::Array{Value("中文"), Value(true)})}});
  for (auto* write : {&plist_to_bin, &plist_to_xml}) {
    char* out = nullptr;
    uint32_t length = 0;
    write(dict, &out, &length);
    auto v = readPropertyList(std::string(out, length), &why);
    free(out);
    ASSERT_TRUE(v) << why;
    EXPECT_EQ(*v, expected);
  }
  plist_free(dict);
  for (auto format : {PlistFormat::Xml, PlistFormat::Binary}) {
    std::string ours = writePropertyList(expected, format).value_or("");
    plist_t root = nullptr;
    plist_from_memory(ours.data(), static_cast<uint32_t>(ours.size()), &root);
    ASSERT_TRUE(root);
    double real = 0;
    plist_get_real_val(plist_dict_get_item(root, "real"), &real);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(plist_array_get_size(plist_dict_get_item(root, "list")), 2u);
    plist_free(root);
  }

  // What could not be written back exactly is refused, with a reason.
  std::string nested;
  for (int k = 0; k < 300; ++k) nested += "<array>";
  std::vector<std::string> explosion;  // each level holds the next one twice
  for (int k = 0; k < 60; ++k) explosion.push_back({'\xA2', static_cast<char>(k + 1), static_cast<char>(k + 1)});
  explosion.push_back(ascii("leaf"));
  const std::string refused[] = {
      "<plist><dict><key>a</key><string>x\0y</string></dict></plist>"s,
      "<plist><dict><key>a</key><string>x&#0;y</string></dict></plist>",
      "<plist><dict><key>a</key><true/><key>a</key><false/></dict></plist>",
      "<plist><string>\xC0\xAF</string></plist>",
      "<plist><integer>9223372036854775808</integer></plist>",
      "<plist><date>2026-02-30T00:00:00Z</date></plist>",
      "<plist><real>0x1p3</real></plist>",
      "<plist><data>AB=C</data></plist>",
      "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>",
      "<plist><dict><key>a</key></dict></plist>",
      "<plist><set/></plist>",
      "<plist><dict>" + nested + "</dict></plist>",
      bplist({dict1(1, 2), ascii("a"), ascii("\x80")}),
      bplist({dict1(1, 2), ascii("a"), utf16(u"\xD800")}),
      bplist({dict1(1, 2), ascii("a"), "\x80\x01"s}),                       // a keyed archiver's UID
      bplist({"\x14"s + std::string(7, '\0') + '\x01' + std::string(8, '\0')}),  // 2^64
      bplist({dict1(1, 2), ascii("a"), dict1(1, 0)}),                       // contains itself
      bplist({dict1(1, 1)}),                                                // a key that is no string
      bplist(explosion),
      "bplist00",
      "",
  };
  for (const auto& bad : refused) {
    why.clear();
    EXPECT_FALSE(readPropertyList(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  EXPECT_FALSE(writePropertyList(Value("\xFF"), PlistFormat::Automatic, &why));
  EXPECT_NE(why.find("UTF-8"), std::string::npos);
  EXPECT_FALSE(writePropertyList(Value(Value::Dict{{"k", Value(1)}, {"k", Value(2)}})));
  EXPECT_FALSE(writePropertyList(Value(Value::Array{Value(Value::Date{0.5})}), PlistFormat::Xml));
  EXPECT_EQ(withoutRepeatedKeys(Value(Value::Dict{{"k", Value(1)}, {"j", Value(0)}, {"k", Value(2)}})),
            Value(Value::Dict{{"k", Value(2)}, {"j", Value(0)}}));
}

}  // namespace
}  // namespace tl::sim
