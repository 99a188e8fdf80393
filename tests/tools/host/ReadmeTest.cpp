// What the README says of the plug-in, held against what the plug-in and
// the host say themselves: the preset file version the build writes, and
// the parameter names the README uses.

#include "tests/tools/host/HostCommandRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string readme() {
  const char* source = std::getenv("ZARN_SOURCE_DIR");
  return source ? readFile(std::filesystem::path(source) / "README.md") : std::string();
}

// The README's text with its line breaks as spaces, so a phrase may wrap.
std::string flowed(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

} // namespace

TEST(ReadmeTest, ThePresetVersionItNamesIsTheOneTheBuildWrites) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  const std::string text = flowed(readme());
  ASSERT_FALSE(text.empty()) << "no README (ZARN_SOURCE_DIR)";
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(current preset file version is (\d+))"))) << "no version named";
  const int said = std::stoi(m[1]);
  // Every factory preset the build made carries the version in the four
  // bytes after its tag, low byte first.
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(ZARN_BUNDLE) + "/Resources")) {
    if (e.path().extension() != ".qvp") continue;
    const std::string bytes = readFile(e.path());
    ASSERT_GE(bytes.size(), 8u) << e.path();
    int version = 0;
    for (int i = 3; i >= 0; --i) version = version << 8 | static_cast<unsigned char>(bytes[4 + size_t(i)]);
    EXPECT_EQ(version, said) << e.path();
    ++files;
  }
  EXPECT_GT(files, 10);
#endif
}

TEST(ReadmeTest, TheParametersItNamesAreTheOnesAHostSees) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  const std::string text = readme();
  ASSERT_FALSE(text.empty()) << "no README (ZARN_SOURCE_DIR)";
  const hosttest::Result info = hosttest::run({"info", "--bundle", ZARN_BUNDLE});
  ASSERT_EQ(info.status, 0) << info.err;
  std::set<std::string> controls;
  const std::regex name(R"re(name  31: "([^"]*)")re");
  for (auto it = std::sregex_iterator(info.out.begin(), info.out.end(), name); it != std::sregex_iterator(); ++it)
    controls.insert((*it)[1]);
  ASSERT_GT(controls.size(), 100u);

  // The controller map's table: its last column names parameters.
  const std::regex row(R"(\n\| \d+ \| [^|\n]+ \| ([^|\n]+) \|)");
  int rows = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), row); it != std::sregex_iterator(); ++it, ++rows)
    EXPECT_TRUE(controls.count((*it)[1])) << "the README names a parameter no host sees: " << (*it)[1];
  EXPECT_GE(rows, 9);

  // The panel's envelope labels and the parameters they stand for: the
  // README says which is which, and the parameters are there.
  const std::string flow = flowed(text);
  for (const auto& [label, family] : {std::pair<std::string, std::string>{"AMP ENV", "EG Main"},
                                      {"ENV 1", "EG 1"},
                                      {"ENV 2", "EG 2"}}) {
    EXPECT_NE(flow.find(label), std::string::npos) << label;
    const size_t at = flow.find(label);
    EXPECT_NE(flow.find(family, at), std::string::npos) << label << " is not matched with " << family;
    EXPECT_TRUE(controls.count(family + " Attack")) << family;
  }
#endif
}
