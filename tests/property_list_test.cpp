// The simulated Mac's property lists: whatever is read is written back
// exactly, and whatever cannot be is refused with a reason, never mangled.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "Process.h"
#include "platform/sim/PropertyList.h"
#include "platform/sim/SimDefaults.h"

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
      "<plist><string>\xC0\xAF</string></plist>",
      "<plist><integer>18446744073709551616</integer></plist>",
      "<plist><integer>-9223372036854775809</integer></plist>",
      "<plist><integer>0x</integer></plist>",
      "<plist><integer>0x-1</integer></plist>",
      "\xFF\xFE<\0p\0"s + "\0\xD8>\0"s,  // UTF-16 with a lone surrogate
      "<plist><date>2026-02-30T00:00:00Z</date></plist>",
      "<plist><real>0x1p3</real></plist>",
      "<plist><data>AB=C</data></plist>",
      "<plist><data>AAE</data></plist>",  // a last group cut short, which CoreFoundation drops
      "<plist><data>AA&#61;=</data></plist>",
      "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>",
      "<plist><dict><key>a</key></dict></plist>",
      "<plist><set/></plist>",
      "<plist><dict>" + nested + "</dict></plist>",
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

TEST(PropertyList, ReadsAndWritesEveryIntegerFoundationWrites) {
  const Value ints(Value::Dict{{"hoverExpand", Value(false)},
                               {"big", Value(Value::Unsigned{uint64_t{1} << 63})},
                               {"max", Value(Value::Unsigned{UINT64_MAX})},
                               {"min", Value(INT64_MIN)}});
  for (auto format : {PlistFormat::Xml, PlistFormat::Binary}) {
    std::string bytes = writePropertyList(ints, format).value_or(""), why;
    auto back = readPropertyList(bytes, &why);
    ASSERT_TRUE(back) << why;
    EXPECT_TRUE(identicalValues(*back, ints));
    if (format == PlistFormat::Xml)
      EXPECT_NE(bytes.find("<integer>18446744073709551615</integer>"), std::string::npos) << bytes;
    else  // sixteen bytes, the high eight zero, as Foundation writes them
      EXPECT_NE(bytes.find("\x14\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s), std::string::npos);
  }

  // Typed reads convert as NSNumber does: C's conversions.
  auto dir = std::filesystem::temp_directory_path() / ("tuckline-ints-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "d.plist", std::ios::binary) << *writePropertyList(ints, PlistFormat::Binary);
  {
    SimDefaults defaults((dir / "d.plist").string());
    EXPECT_EQ(defaults.fileState(), SimDefaults::FileState::Readable);
    EXPECT_EQ(defaults.integerForKey("max"), -1);
    EXPECT_EQ(defaults.integerForKey("big"), INT64_MIN);
    EXPECT_EQ(defaults.doubleForKey("max"), 18446744073709551616.0);
    EXPECT_TRUE(defaults.boolForKey("big"));
    EXPECT_FALSE(defaults.boolForKey("hoverExpand"));
  }
  std::filesystem::remove_all(dir);

  // Hexadecimal after 0x, with a sign or without, as plistlib and Foundation read it.
  const std::pair<std::string, Value> texts[] = {{"0x10", Value(16)},
                                                  {" -0XfF ", Value(-255)},
                                                  {"0xFFFFFFFFFFFFFFFF", Value(Value::Unsigned{UINT64_MAX})},
                                                  {"-9223372036854775808", Value(INT64_MIN)},
                                                  {"+42", Value(42)}};
  for (const auto& [text, expected] : texts) {
    std::string why;
    auto v = readPropertyList("<plist><integer>" + text + "</integer></plist>", &why);
    ASSERT_TRUE(v) << text << ": " << why;
    EXPECT_EQ(*v, expected) << text;
  }
}

TEST(PropertyList, ReadsXmlAsAnXmlParserDoes) {
  // Line ends become line feeds, wherever they are; a reference to CR stays a CR.
  const std::string xml =
      "<?xml version=\"1.0\"?>\r\n<plist version=\"1.0\">\r<array>\r\n"
      "<string>a\r\nb\rc&#13;d&#xD;\r</string><string><![CDATA[x\r\ny]]></string>"
      "<string>&lt;&gt;&amp;&quot;&apos;&#x1F600;&#65;</string></array></plist>\r\n";
  const Value expected(Value::Array{Value("a\nb\nc\rd\r\n"), Value("x\ny"), Value("<>&\"'\U0001F600A")});
  auto wide = [&](size_t unit, bool big) {  // UTF-16 or UTF-32 after its mark: each byte of the text one unit
    std::string out;
    auto put = [&](uint32_t c) {
      for (size_t b = 0; b < unit; ++b) out += static_cast<char>(c >> 8 * (big ? unit - 1 - b : b));
    };
    put(0xFEFF);
    for (char c : xml) put(static_cast<unsigned char>(c));
    return out;
  };
  for (const std::string& form :
       {xml, "\xEF\xBB\xBF" + xml, wide(2, true), wide(2, false), wide(4, true), wide(4, false)}) {
    std::string why;
    auto v = readPropertyList(form, &why);
    ASSERT_TRUE(v) << why;
    EXPECT_EQ(*v, expected);
  }
}

TEST(PropertyList, ReadsWhatFoundationReads) {
  auto read = [](const std::string& bytes) {
    std::string why;
    auto v = readPropertyList(bytes, &why);
    EXPECT_TRUE(v) << why << "\n" << bytes;
    return v.value_or(Value());
  };
  auto one = [&](const std::string& body) { return read("<plist version=\"1.0\">" + body + "</plist>"); };
  // Foundation's distantPast and distantFuture, and a year before year 0;
  // written back in XML as Foundation writes them.
  const std::pair<std::string, double> dates[] = {{"0000-12-30T00:00:00Z", -63114076800.0},
                                                  {"4001-01-01T00:00:00Z", 63113904000.0},
                                                  {"-001-03-01T12:00:00Z", -63171921600.0}};
  for (const auto& [text, seconds] : dates) {
    EXPECT_EQ(one("<date>" + text + "</date>"), Value(Value::Date{seconds})) << text;
    std::string bytes = writePropertyList(Value(Value::Date{seconds})).value_or("");
    EXPECT_NE(bytes.find("<date>" + text + "</date>"), std::string::npos) << bytes;
  }
  // A key named twice: the last value, in the place of the first.
  EXPECT_EQ(one("<dict><key>a</key><true/><key>b</key><integer>1</integer><key>a</key><false/></dict>"),
            Value(Value::Dict{{"a", Value(false)}, {"b", Value(1)}}));
  // Base64 passing over what is outside its alphabet.
  EXPECT_EQ(one("<data>AA*EC\n\t.Aw==!</data>"), Value(Value::Data{{0, 1, 2, 3}}));
  // A binary string marked ASCII with bytes above 0x7F: Latin-1.
  EXPECT_EQ(read(bplist({dict1(1, 2), ascii("k"), ascii("caf\xE9 \xFF")})),
            Value(Value::Dict{{"k", Value("café ÿ")}}));

  // The old text form, with a strings file's dictionary without braces.
  const Value text = read(
      "// a comment\n{ name = \"say \\\"hi\\\"\\n\\t\\\\ \\U00e9\\Ud83d\\Ude00 \\101\\7\"; /* another */\n"
      "  list = ( a, 'b c', <0fA0 01>, (), {}, ); bare_path = /usr/local-1.0:$x; dup = first; same;\n"
      "  \"中\" = \"文\"; dup = again; }");
  const Value::Array list{Value("a"), Value("b c"), Value(Value::Data{{0x0F, 0xA0, 1}}), Value(Value::Array{}),
                          Value(Value::Dict{})};
  EXPECT_EQ(text, Value(Value::Dict{{"name", Value("say \"hi\"\n\t\\ \u00e9\U0001F600 A\a")},
                                    {"list", Value(list)},
                                    {"bare_path", Value("/usr/local-1.0:$x")},
                                    {"dup", Value("again")},
                                    {"same", Value("same")},
                                    {"中", Value("文")}}));
  EXPECT_EQ(read("\"a\" = \"x\\U00e9\\101\\7\";\nb = c;"),
            Value(Value::Dict{{"a", Value("x\u00e9A\a")}, {"b", Value("c")}}));
  EXPECT_EQ(read("{ s = \"\\Ud83d\\Ude00\"; }"), Value(Value::Dict{{"s", Value("\U0001F600")}}));
  EXPECT_EQ(read("<0fa0>"), Value(Value::Data{{0x0F, 0xA0}}));
  // Never written in the text form: here binary, as XML cannot carry the \a.
  EXPECT_EQ(writePropertyList(text).value_or("").substr(0, 8), "bplist00");
  std::string deep(300, '(');
  for (const std::string& bad : std::vector<std::string>{"{ a = b }", "( a b )", "<0fa>", "<0g>", "\"\\200\"",
                                                        "\"\\Ud83d\"", "/* open", "{ a = \"open; }", "a = b; c",
                                                        "{ = b; }", "\xFF", deep}) {
    std::string why;
    EXPECT_FALSE(readPropertyList(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

// The files of a corpus of real property lists gathered elsewhere (mac
// preferences, Info.plists, other libraries' tests), where it is found:
// each read the same as plistlib reads it, and the forms plistlib lacks read.
TEST(PropertyList, ReadsRealFilesAsCoreFoundationDoes) {
  const char* env = std::getenv("TUCKLINE_PLIST_CORPUS");
  const std::string corpus = env ? env : TUCKLINE_PLIST_CORPUS;
  if (!std::filesystem::exists(corpus + "/SOURCES.md")) GTEST_SKIP() << "no corpus at " << corpus;
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs python3";
  auto dir = std::filesystem::temp_directory_path() / ("tuckline-corpus-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "report.txt").string();
  const std::string command = "python3 " TUCKLINE_TESTS_DIR "/plist_corpus.py " TUCKLINE_PLIST_ROUNDTRIP " '" + corpus +
                              "' " + dir.string() + " --list >" + out + " 2>&1";
  int status = std::system(command.c_str());
  std::ifstream report(out);
  std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_EQ(status, 0) << text;
  std::printf("%s", text.substr(0, text.find("\n", text.find("\nall ") + 1) + 1).c_str());
  // What only CoreFoundation reads of these: year 0, the text form, UTF-8 in ASCII strings.
  for (const char* file : {"plaso/com.apple.security.KCN.plist", "libplist/o1.ostep", "rust-plist/ascii-sample.plist",
                           "bplist-parser/iTunes-small.bplist", "dd-plist/test-xml-utf-32le-bom.plist"})
    EXPECT_NE(text.find(std::string("ours only      ") + file), std::string::npos) << file << "\n" << text;
  std::filesystem::remove_all(dir);
}

TEST(PropertyList, AgreesWithPythonsPlistlib) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs python3";
  auto dir = std::filesystem::temp_directory_path() / ("tuckline-plistlib-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "report.txt").string();
  const std::string command = "python3 " TUCKLINE_TESTS_DIR "/plist_differential.py " TUCKLINE_PLIST_ROUNDTRIP " " +
                              dir.string() + " >" + out + " 2>&1";
  int status = std::system(command.c_str());
  std::ifstream report(out);
  std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_EQ(status, 0) << text;
  std::filesystem::remove_all(dir);
}

// {"k": [s, s, …]}: one string of `length` bytes, referred to `times` times.
std::string sharedStringFile(uint32_t length, uint32_t times) {
  auto be32 = [](uint32_t n) {
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                       static_cast<char>(n)};
  };
  const std::string objects[] = {"\xD1\x01\x02", "\x51k", "\xAF\x12" + be32(times) + std::string(times, '\x03'),
                                 "\x5F\x12" + be32(length) + std::string(length, 's')};
  std::string out = "bplist00", table;
  for (const auto& o : objects) table += be32(static_cast<uint32_t>(out.size())), out += o;
  std::string trailer(32, '\0');
  trailer[6] = 4;
  trailer[7] = 1;
  trailer[15] = 4;
  return out + table + trailer.substr(0, 24) + std::string(4, '\0') + be32(static_cast<uint32_t>(out.size()));
}

TEST(PropertyList, SharedObjectsUnfoldOnlyAsFarAsTheFileAllows) {
  // 200 kB holding one 100 kB string 100,000 times: 10 GB were it unfolded.
  const std::string amplified = sharedStringFile(100000, 100000);
  std::string why;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(readPropertyList(amplified, &why));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(why.find("unfold"), std::string::npos) << why;
  // What Foundation and plistlib write for a list of one word reads.
  auto words = readPropertyList(sharedStringFile(40, 50000), &why);
  ASSERT_TRUE(words) << why;
  EXPECT_EQ(std::get<Value::Array>(std::get<Value::Dict>(words->v)[0].second.v).size(), 50000u);

  // Equal values are written once; collections never (a reader counts each).
  Value::Array repeated(200, Value(std::string(1000, 'r')));
  repeated.insert(repeated.end(), 100, Value(Value::Dict{{"n", Value(-0.0)}, {"z", Value(0.0)}}));
  std::string bytes = writePropertyList(Value(repeated), PlistFormat::Binary).value_or("");
  EXPECT_LT(bytes.size(), 3000u);
  auto back = readPropertyList(bytes, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_TRUE(identicalValues(*back, Value(repeated)));
  // Sharing past what a reader allows is not done: every copy is written.
  const Value wide(Value::Array(60, Value(std::string(100000, 'w'))));
  bytes = writePropertyList(wide, PlistFormat::Binary).value_or("");
  EXPECT_GT(bytes.size(), 6000000u);
  back = readPropertyList(bytes, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_TRUE(identicalValues(*back, wide));

#ifdef TUCKLINE_CONSOLE_PATH
  // The defaults tool on that file, in a process of its own: its peak memory
  // beside the same tool on a small file.
  auto dir = std::filesystem::temp_directory_path() / ("tuckline-unfold-" + std::to_string(getpid()));
  auto peakKb = [&](const std::string& file) {
    std::filesystem::create_directories(dir / "Library/Preferences");
    std::ofstream(dir / "Library/Preferences/com.ferrowick.tuckline.plist", std::ios::binary) << file;
    pid_t pid = fork();
    if (pid == 0) {
      rlimit cpu{10, 10};  // a regression ends, rather than taking minutes
      setrlimit(RLIMIT_CPU, &cpu);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl(TUCKLINE_CONSOLE_PATH, TUCKLINE_CONSOLE_PATH, "--home", dir.c_str(), "defaults", "read", nullptr);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    return usage.ru_maxrss;
  };
  long small = peakKb(*writePropertyList(Value(Value::Dict{{"k", Value("s")}}), PlistFormat::Binary));
  long large = peakKb(amplified);
  EXPECT_LT(large - small, 16 * 1024) << small << " kB, then " << large << " kB";
  std::filesystem::remove_all(dir);
#endif
}

}  // namespace
}  // namespace tl::sim
