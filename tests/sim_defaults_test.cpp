#include <gtest/gtest.h>
#include <plist/plist.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "Fixture.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/PropertyList.h"
#include "platform/sim/SimDefaults.h"

namespace tl::sim {
namespace {

using test::readFile;

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class Defaults : public ::testing::Test {
 protected:
  void SetUp() override {
    root = test::makeTempDir();
    prefs = root + "/Library/Preferences";
    path = prefs + "/com.ferrowick.tuckline.plist";
  }
  void TearDown() override {
    chmod(prefs.c_str(), 0700);
    std::filesystem::remove_all(root);
  }
  int tool(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return runDefaultsTool(path, args, out, err);
  }

  std::string root, prefs, path;
  std::ostringstream out, err;
};

TEST_F(Defaults, ReadersConvertWrongTypedValuesAsFoundationDoes) {
  SimDefaults d(path);
  struct Case {
    Value stored;
    bool b;
    int64_t i;
    double x;
  };
  const double nan = std::nan("");
  const int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  const Case cases[] = {
      {Value("YES"), true, 0, 0},
      {Value("  12abc"), true, 12, 12},
      {Value("\t-007"), true, -7, -7},
      {Value("+000"), false, 0, 0},
      {Value("t"), true, 0, 0},
      {Value("no"), false, 0, 0},
      {Value(" 1.5e2xyz"), true, 1, 150},
      {Value("0x1A"), false, 0, 0},
      {Value("99999999999999999999"), true, kMax, 1e20},
      {Value("-99999999999999999999"), true, kMin, -1e20},
      {Value(nan), true, 0, nan},
      {Value(1e300), true, kMax, 1e300},
      {Value(-1e300), true, kMin, -1e300},
      {Value(-2.7), true, -2, -2.7},
      {Value(true), true, 1, 1},
      {Value(int64_t{-3}), true, -3, -3},
      {Value(Value::Data{{1, 2}}), false, 0, 0},
      {Value(Value::Array{Value(1)}), false, 0, 0},
      {Value(Value::Dict{{"a", Value(1)}}), false, 0, 0},
      {Value(Value::Date{5}), false, 0, 0},
  };
  for (const auto& c : cases) {
    d.setObject("k", c.stored);
    SCOPED_TRACE(describeDefaultsValue(c.stored));
    EXPECT_EQ(d.boolForKey("k"), c.b);
    EXPECT_EQ(d.integerForKey("k"), c.i);
    if (std::isnan(c.x)) EXPECT_TRUE(std::isnan(d.doubleForKey("k")));
    else EXPECT_DOUBLE_EQ(d.doubleForKey("k"), c.x);
  }

  // The application domain wins over the registered one; removing brings it back.
  d.registerDefaults({{"hoverExpand", Value(true)}, {"autoCollapseDelay", Value(5.0)}});
  EXPECT_FALSE(d.boolForKey("missing"));
  EXPECT_EQ(d.integerForKey("missing"), 0);
  EXPECT_EQ(d.doubleForKey("autoCollapseDelay"), 5.0);
  d.setBool("hoverExpand", false);
  EXPECT_FALSE(d.boolForKey("hoverExpand"));
  d.removeObjectForKey("hoverExpand");
  EXPECT_EQ(d.objectForKey("hoverExpand"), Value(true));
  EXPECT_EQ(readFile(path).find("autoCollapseDelay"), std::string::npos);  // registered values stay in memory
}

TEST_F(Defaults, FileKeepsTypesAndEveryWriterIsSeen) {
  SimDefaults a(path);  // the Preferences folder does not exist yet
  a.setInteger("count", 3);
  a.setDouble("delay", 3.0);
  a.setBool("flag", true);
  a.setInteger("neg", -1);
  EXPECT_EQ(a.writeError(), "");
  std::string xml = readFile(path);
  EXPECT_NE(xml.find("<integer>3</integer>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<real>3</real>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<integer>-1</integer>"), std::string::npos) << xml;

  SimDefaults b(path);
  EXPECT_EQ(b.objectForKey("count"), Value(int64_t{3}));
  EXPECT_EQ(b.objectForKey("delay"), Value(3.0));
  EXPECT_EQ(b.objectForKey("flag"), Value(true));
  EXPECT_EQ(b.integerForKey("neg"), -1);

  // Changes by another instance and by an in-place edit of the same size,
  // both well inside one tick of a coarse file clock.
  EXPECT_EQ(a.integerForKey("count"), 3);
  b.setInteger("count", 4);
  EXPECT_EQ(a.integerForKey("count"), 4);
  std::string edited = readFile(path);
  edited.replace(edited.find("<integer>4</integer>"), 20, "<integer>5</integer>");
  spit(path, edited);
  EXPECT_EQ(a.integerForKey("count"), 5);
  // A write merges into what the file holds now, not into a stale copy.
  b.setInteger("other", 1);
  EXPECT_EQ(SimDefaults(path).integerForKey("count"), 5);

  // Binary, as Foundation writes it.
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "count", plist_new_uint(9));
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(dict, &bin, &length);
  spit(path, std::string(bin, length));
  plist_to_bin_free(bin);
  plist_free(dict);
  EXPECT_EQ(a.integerForKey("count"), 9);
  EXPECT_FALSE(a.objectForKey("flag"));

  std::filesystem::remove(path);
  EXPECT_EQ(a.integerForKey("count"), 0);
  EXPECT_EQ(a.fileState(), SimDefaults::FileState::Missing);
}

TEST_F(Defaults, WritersInTwoProcessesNeverLoseEachOthersChanges) {
  // Each side sets its own keys as fast as it can; a writer that replaced
  // the file with a copy read before the other's rename would drop keys.
  constexpr int kKeys = 150;
  SimDefaults(path).setInteger("start", 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  const char* side = child == 0 ? "child" : "parent";
  {
    SimDefaults d(path);
    for (int i = 0; i < kKeys; ++i) d.setInteger(std::string(side) + std::to_string(i), i);
  }
  if (child == 0) _exit(0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  SimDefaults fresh(path);
  int missing = 0;
  for (const char* who : {"child", "parent"})
    for (int i = 0; i < kKeys; ++i) missing += !fresh.objectForKey(std::string(who) + std::to_string(i));
  EXPECT_EQ(missing, 0);
}

std::string deepBinary(uint32_t depth) {
  // Object k is an array holding object k + 1; the last one is empty.
  std::string s = "bplist00";
  std::vector<uint32_t> offsets;
  for (uint32_t k = 0; k <= depth; ++k) {
    offsets.push_back(static_cast<uint32_t>(s.size()));
    if (k == depth) {
      s += '\xA0';
      continue;
    }
    s += '\xA1';
    for (int b = 3; b >= 0; --b) s += static_cast<char>((k + 1) >> (8 * b));
  }
  uint64_t table = s.size();
  for (uint32_t o : offsets)
    for (int b = 3; b >= 0; --b) s += static_cast<char>(o >> (8 * b));
  std::string trailer(32, '\0');
  trailer[6] = 4;
  trailer[7] = 4;
  for (int b = 0; b < 8; ++b) {
    trailer[8 + 7 - b] = static_cast<char>(uint64_t{offsets.size()} >> (8 * b));
    trailer[24 + 7 - b] = static_cast<char>(table >> (8 * b));
  }
  return s + trailer;
}

TEST_F(Defaults, DamagedFilesAreNeverReplacedAndSurviveAside) {
  std::filesystem::create_directories(prefs);
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>hoverExpand</key><fal";
  spit(path, garbage);
  SimDefaults d(path);
  d.registerDefaults({{"hoverExpand", Value(true)}});
  EXPECT_TRUE(d.boolForKey("hoverExpand"));  // reads as an empty domain
  EXPECT_EQ(d.fileState(), SimDefaults::FileState::Damaged);
  EXPECT_EQ(readFile(path), garbage);  // reading touched nothing

  d.setBool("startCollapsed", true);
  EXPECT_EQ(d.writeError(), "");
  EXPECT_EQ(readFile(path + ".corrupt"), garbage);
  EXPECT_TRUE(SimDefaults(path).boolForKey("startCollapsed"));

  // A second casualty keeps the first one's name free.
  const std::string array = "<plist version=\"1.0\"><array><integer>1</integer></array></plist>";
  spit(path, array);
  EXPECT_FALSE(d.boolForKey("startCollapsed"));
  d.setBool("x", true);
  EXPECT_EQ(readFile(path + ".corrupt"), garbage);
  EXPECT_EQ(readFile(path + ".corrupt.1"), array);

  // Nesting deep enough to overflow a recursive parser's stack.
  std::string deep = "<plist version=\"1.0\"><dict><key>a</key>";
  for (int k = 0; k < 200000; ++k) deep += "<array>";
  for (int k = 0; k < 200000; ++k) deep += "</array>";
  deep += "</dict></plist>";
  spit(path, deep);
  EXPECT_FALSE(d.objectForKey("a"));
  spit(path, deepBinary(200000));
  EXPECT_EQ(d.fileState(), SimDefaults::FileState::Damaged);
  d.removePersistentDomain();
  EXPECT_EQ(readFile(path + ".corrupt.2"), deepBinary(200000));
  // Nesting of a sensible depth still reads.
  std::string fine = "<plist version=\"1.0\"><dict><key>a</key>";
  for (int k = 0; k < 200; ++k) fine += "<array>";
  for (int k = 0; k < 200; ++k) fine += "</array>";
  spit(path, fine + "</dict></plist>");
  EXPECT_TRUE(d.objectForKey("a"));

  // An unreadable file is kept too (the owner could read it anyway as root).
  if (geteuid() != 0) {
    spit(path, "<plist version=\"1.0\"><dict><key>a</key><true/></dict></plist>");
    chmod(path.c_str(), 0);
    EXPECT_FALSE(d.boolForKey("a"));
    d.setBool("b", true);
    chmod((path + ".corrupt.3").c_str(), 0600);
    EXPECT_NE(readFile(path + ".corrupt.3").find("<key>a</key>"), std::string::npos);
  }
}

TEST_F(Defaults, BadBytesNeitherCrashNorCostAValue) {
  using namespace std::string_literals;
  std::filesystem::create_directories(prefs);
  // U+0000 in a key and in a string, in the binary form Foundation writes:
  // read, kept through this desktop's own writes, byte for byte.
  const std::string nulKey = "a\0b"s, nulString = "x\0y中"s;
  spit(path, *writePropertyList(Value(Value::Dict{{nulKey, Value(nulString)}, {"n", Value(1)}})));
  SimDefaults d(path);
  EXPECT_EQ(d.objectForKey(nulKey), Value(nulString));
  d.setInteger("n", 2);
  EXPECT_EQ(d.writeError(), "");
  EXPECT_EQ(SimDefaults(path).objectForKey(nulKey), Value(nulString));
  EXPECT_EQ(SimDefaults(path).integerForKey("n"), 2);

  // XML cannot hold U+0000: such a file is damaged and its bytes are copied
  // aside; a writer that still has the old file open writes past the copy.
  const std::string damaged = "<plist><dict><key>a</key><string>x\0y</string></dict></plist>"s;
  spit(path, damaged);
  EXPECT_EQ(d.fileState(), SimDefaults::FileState::Damaged);
  EXPECT_NE(d.damage().find("XML does not allow"), std::string::npos) << d.damage();
  int old = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(old, 0);
  d.setBool("flag", true);
  EXPECT_EQ(d.movedAsidePath(), path + ".corrupt");
  ASSERT_EQ(write(old, "late", 4), 4);
  close(old);
  EXPECT_EQ(readFile(path + ".corrupt"), damaged);
  EXPECT_TRUE(SimDefaults(path).boolForKey("flag"));

  // A value that cannot be stored is refused with the reason; nothing changes.
  const std::string before = readFile(path);
  d.setObject("bad", Value("\xFF\xFE"));
  EXPECT_NE(d.writeError().find("not UTF-8"), std::string::npos) << d.writeError();
  Value::Array deep;
  for (int k = 0; k < 300; ++k) deep = Value::Array{Value(std::move(deep))};
  d.setObject("deep", Value(deep));
  EXPECT_NE(d.writeError().find("nesting"), std::string::npos) << d.writeError();
  EXPECT_FALSE(d.objectForKey("bad") || d.objectForKey("deep"));
  EXPECT_EQ(readFile(path), before);

  // Temporary files of writers killed before their rename go with the next
  // write; a look-alike of the user's stays.
  spit(path + ".tmp-Ab12Cd", "half a file");
  spit(path + ".tmp-mine", "the user's");
  d.setBool("flag", false);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp-Ab12Cd"));
  EXPECT_TRUE(std::filesystem::exists(path + ".tmp-mine"));
}

TEST_F(Defaults, UnwritableFolderLeavesTheFileAndKeepsTheValueInMemory) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes through permissions";
  SimDefaults d(path);
  d.setInteger("hotKeyPreset", 1);
  const std::string before = readFile(path);
  ASSERT_EQ(chmod(prefs.c_str(), 0500), 0);
  d.setInteger("hotKeyPreset", 2);
  EXPECT_NE(d.writeError(), "");
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(d.integerForKey("hotKeyPreset"), 2);  // this process sees what it wrote
  EXPECT_EQ(SimDefaults(path).integerForKey("hotKeyPreset"), 1);
  EXPECT_EQ(tool({"write", "hotKeyPreset", "-int", "3"}), 1);
  EXPECT_EQ(err.str().rfind("Could not write domain com.ferrowick.tuckline (", 0), 0u) << err.str();
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefs), {}), 1);  // no temporary left

  ASSERT_EQ(chmod(prefs.c_str(), 0700), 0);
  d.setBool("flag", true);  // the held-back value goes out with the next write
  EXPECT_EQ(d.writeError(), "");
  EXPECT_EQ(SimDefaults(path).integerForKey("hotKeyPreset"), 2);
}

TEST_F(Defaults, ToolWritesReadsAndDeletesAsOnAMac) {
  EXPECT_EQ(tool({"read"}), 1);
  EXPECT_EQ(err.str(), "Domain com.ferrowick.tuckline does not exist\n");

  EXPECT_EQ(tool({"write", "hotKeyPreset", "-int", "3"}), 0);
  EXPECT_EQ(tool({"write", "autoCollapseDelay", "-float", "2.5"}), 0);
  EXPECT_EQ(tool({"write", "hoverExpand", "-bool", "NO"}), 0);
  EXPECT_EQ(tool({"write", "startCollapsed", "-bool", "true"}), 0);
  EXPECT_EQ(tool({"write", "name", "hello world"}), 0);
  EXPECT_EQ(tool({"write", "word", "-string", "abc"}), 0);
  EXPECT_EQ(tool({"write", "neg", "-integer", "-1"}), 0);
  SimDefaults d(path);
  EXPECT_EQ(d.objectForKey("hotKeyPreset"), Value(int64_t{3}));
  EXPECT_EQ(d.objectForKey("autoCollapseDelay"), Value(2.5));
  EXPECT_EQ(d.objectForKey("hoverExpand"), Value(false));
  EXPECT_EQ(d.objectForKey("name"), Value("hello world"));
  d.setObject("zh", Value("中文"));
  d.setObject("list", Value(Value::Array{Value(1), Value("a b")}));
  d.setObject("sub", Value(Value::Dict{{"k", Value(0.5)}}));
  d.setDouble("NSStatusItem Preferred Position Item-0", 1234.0);

  EXPECT_EQ(tool({"read"}), 0);
  EXPECT_EQ(out.str(),
            "{\n"
            "    \"NSStatusItem Preferred Position Item-0\" = 1234;\n"
            "    autoCollapseDelay = \"2.5\";\n"
            "    hotKeyPreset = 3;\n"
            "    hoverExpand = 0;\n"
            "    list =     (\n"
            "        1,\n"
            "        \"a b\"\n"
            "    );\n"
            "    name = \"hello world\";\n"
            "    neg = \"-1\";\n"
            "    startCollapsed = 1;\n"
            "    sub =     {\n"
            "        k = \"0.5\";\n"
            "    };\n"
            "    word = abc;\n"
            "    zh = \"\\U4e2d\\U6587\";\n"
            "}\n");
  EXPECT_EQ(tool({"read", "name"}), 0);
  EXPECT_EQ(out.str(), "hello world\n");
  EXPECT_EQ(tool({"read", "autoCollapseDelay"}), 0);
  EXPECT_EQ(out.str(), "2.5\n");
  EXPECT_EQ(tool({"read-type", "hoverExpand"}), 0);
  EXPECT_EQ(out.str(), "Type is boolean\n");

  EXPECT_EQ(tool({"delete", "name"}), 0);
  EXPECT_EQ(tool({"read", "name"}), 1);
  EXPECT_EQ(err.str(), "The domain/default pair of (com.ferrowick.tuckline, name) does not exist\n");
  EXPECT_EQ(tool({"delete", "name"}), 1);

  // Bad usage changes nothing.
  const std::string before = readFile(path);
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"write", "k"}, {"write", "k", "-int"}, {"write", "k", "-int", "abc"},
           {"write", "k", "-int", "99999999999999999999"}, {"write", "k", "-int", "3.5"},
           {"write", "k", "-float", "nan"}, {"write", "k", "-float", "1e999"}, {"write", "k", "-bool", "maybe"},
           {"write", "k", "-int", "1", "2"}, {"read", "a", "b"}, {"delete", "a", "b"}}) {
    EXPECT_EQ(tool(bad), 1) << (bad.empty() ? "" : bad.back());
    EXPECT_NE(err.str().find("Usage: defaults"), std::string::npos);
  }
  EXPECT_EQ(readFile(path), before);

  // The tool keeps a damaged file as SimDefaults does.
  spit(path, "not a property list");
  EXPECT_EQ(tool({"read", "hotKeyPreset"}), 1);
  EXPECT_EQ(tool({"write", "hotKeyPreset", "-int", "2"}), 0);
  EXPECT_EQ(readFile(path + ".corrupt"), "not a property list");
  EXPECT_NE(err.str().find("moved aside to " + path + ".corrupt\n"), std::string::npos) << err.str();
  EXPECT_EQ(tool({"delete"}), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(d.integerForKey("hotKeyPreset"), 0);
}

}  // namespace
}  // namespace tl::sim
