// "Open Result DataFile" hands the path to the editor as one argument, with
// no shell in between: quotes, $(), back quotes and ; in a name run nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/MainForm.h"
#include "tests/app/AppTestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(OpenResultFile, TheEditorGetsThePathAsItsOneArgumentAndNoShellRunsIt) {
  test::App();
  const fs::path dir = fs::temp_directory_path() / ("quorvel_editor_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  // The stand-in editor records how many arguments it got and the first one.
  const fs::path editor = dir / "editor";
  std::ofstream(editor) << "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s' \"$1\" > \"$d/arg.tmp\"\n"
                           "printf '%s' \"$#\" > \"$d/count.tmp\"\n"
                           "mv \"$d/arg.tmp\" \"$d/arg\"; mv \"$d/count.tmp\" \"$d/count\"\n";
  fs::permissions(editor, fs::perms::owner_all);
  ::setenv("QUORVEL_EDITOR", editor.c_str(), 1);
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);  // where an injected command would leave its file

  const char* names[] = {
      "say \"hi\" it's.txt", "$(touch pwned1).txt", "a; touch pwned2; b.txt", "`touch pwned3`.txt",
      "x | tee pwned4",      "y && touch pwned5 &", "2026_ 5_ 3_Results.txt",
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    fs::remove(dir / "arg");
    fs::remove(dir / "count");
    const std::string path = (dir / name).string();
    TMainForm::OuvrirFichierNotepad(path);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir / "count") && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(fs::exists(dir / "count"));
    EXPECT_EQ(Slurp(dir / "count"), "1");
    EXPECT_EQ(Slurp(dir / "arg"), path);
  }
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().rfind("pwned", 0), std::string::npos) << e.path();
  fs::current_path(cwd);
  ::unsetenv("QUORVEL_EDITOR");
  fs::remove_all(dir);
}

TEST(OpenResultFile, AnEditorThatCannotStartIsAnError) {
  test::App();
  ::setenv("QUORVEL_EDITOR", "/nonexistent/editor", 1);
  EXPECT_THROW(TMainForm::OuvrirFichierNotepad("/tmp/x.txt"), std::exception);
  ::unsetenv("QUORVEL_EDITOR");
}

}  // namespace
}  // namespace quorvel
