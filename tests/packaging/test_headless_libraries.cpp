// A computer without a display runs quorvel-headless: neither it nor any
// library it loads may need Qt's GUI modules, OpenGL or X11.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// The sonames ldd resolves for a program, its libraries' libraries included.
std::set<std::string> LoadedLibraries(const std::string& program) {
  std::set<std::string> out;
  FILE* pipe = ::popen(("ldd '" + program + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  std::string text;
  while (std::fgets(buf, sizeof buf, pipe)) text += buf;
  EXPECT_EQ(::pclose(pipe), 0) << text;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string name;
    if (words >> name) out.insert(name);
    EXPECT_EQ(line.find("not found"), std::string::npos) << line;
  }
  return out;
}

bool Loads(const std::set<std::string>& libraries, const std::string& prefix) {
  for (const auto& l : libraries)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

const char* const kDisplayLibraries[] = {
    "libQt6Gui", "libQt6Widgets", "libQt6Charts", "libQt6OpenGL", "libGL",
    "libEGL",    "libOpenGL",     "libX11",       "libxcb",       "libwayland"};

TEST(HeadlessProgram, LoadsNoDisplayLibrary) {
  const auto libraries = LoadedLibraries(QUORVEL_HEADLESS_EXE);
  ASSERT_TRUE(Loads(libraries, "libQt6Core")) << "ldd gave no usable list";
  for (const char* lib : kDisplayLibraries) EXPECT_FALSE(Loads(libraries, lib)) << lib;
}

// The same check finds them in the window's program, so it can see them at all.
TEST(HeadlessProgram, TheWindowProgramDoesLoadThem) {
  const auto libraries = LoadedLibraries(QUORVEL_EXE);
  for (const char* lib : {"libQt6Gui", "libQt6Widgets", "libQt6Charts"})
    EXPECT_TRUE(Loads(libraries, lib)) << lib;
}

}  // namespace
