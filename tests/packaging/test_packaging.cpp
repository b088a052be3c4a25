// The files installed beside the programs: they must agree with the programs
// they describe or start, and with what udev and the desktop read.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/Options.h"
#include "archive/CollectOptions.h"
#include "device/SimBackend.h"
#include "report/ReportTool.h"
#include "sun/SunReport.h"

namespace {

using quorvel::OptionsHelp;
using quorvel::ParseOptions;

const std::string kDir = QUORVEL_PACKAGING_DIR;

std::string ReadFile(const std::string& name) {
  std::ifstream in(kDir + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << name;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string Joined(const std::set<std::string>& names) {
  std::string s;
  for (const auto& n : names) s += (s.empty() ? "" : " ") + n;
  return s;
}

// Every "--name" the text mentions.
std::set<std::string> LongOptions(const std::string& text) {
  static const std::regex option("--[a-z][a-z0-9-]*[a-z0-9]");
  std::set<std::string> out;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it)
    out.insert(it->str());
  return out;
}

// The options a manual page documents: the long options in the tag line of
// each .TP paragraph, roff's "\-" read as "-".
std::set<std::string> ManPageOptionTags(const std::string& roff) {
  const auto lines = Lines(roff);
  std::set<std::string> out;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != ".TP") continue;
    std::string tag = lines[i + 1];
    for (std::size_t p; (p = tag.find("\\-")) != std::string::npos;) tag.replace(p, 2, "-");
    const auto names = LongOptions(tag);
    out.insert(names.begin(), names.end());
  }
  return out;
}

// quorvel's options as declared, the one table --help is made from.
std::set<std::string> DeclaredOptions() {
  std::set<std::string> out;
  for (const auto& spec : quorvel::OptionSpecs()) out.insert(spec.name);
  return out;
}

struct ManPageCase {
  const char* page;
  std::set<std::string> options;
};

TEST(ManPages, DocumentEveryOptionOfTheHelpAndNoOther) {
  const ManPageCase cases[] = {
      {"quorvel.1", DeclaredOptions()},
      {"quorvel-sun.1", LongOptions(quorvel::ephem::SunToolUsage())},
      {"quorvel-report.1", LongOptions(quorvel::report::ReportUsage())},
      {"quorvel-collect.1", LongOptions(quorvel::archive::CollectUsage())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    const auto& inHelp = c.options;
    const auto inPage = ManPageOptionTags(ReadFile(c.page));
    ASSERT_FALSE(inHelp.empty());
    std::set<std::string> missing, stale;
    std::set_difference(inHelp.begin(), inHelp.end(), inPage.begin(), inPage.end(),
                        std::inserter(missing, missing.end()));
    std::set_difference(inPage.begin(), inPage.end(), inHelp.begin(), inHelp.end(),
                        std::inserter(stale, stale.end()));
    EXPECT_TRUE(missing.empty()) << "options of --help without a paragraph: " << Joined(missing);
    EXPECT_TRUE(stale.empty()) << "paragraphs of options --help does not know: " << Joined(stale);
  }
}

TEST(Help, ShowsEveryDeclaredOptionForBothPrograms) {
  for (const auto program : {quorvel::THelpFor::Window, quorvel::THelpFor::Headless}) {
    const std::string help = OptionsHelp(program);
    EXPECT_EQ(LongOptions(help), DeclaredOptions());
    for (const auto& spec : quorvel::OptionSpecs())
      for (const auto& line : Lines(spec.help))
        EXPECT_NE(help.find(line), std::string::npos) << spec.name << ": " << line;
  }
}

// One udev rule item: KEY{attribute} OPERATOR "value".
struct RuleItem {
  std::string key, op, value;
};

// Splits a rule line into its items; an item that is not well formed fails
// the test with the text it could not read.
std::vector<RuleItem> ParseRule(const std::string& line) {
  static const std::regex item(
      R"re(\s*([A-Z_]+(\{[^}]*\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
  std::vector<RuleItem> out;
  auto begin = line.cbegin();
  std::smatch m;
  while (begin != line.cend()) {
    if (!std::regex_search(begin, line.cend(), m, item, std::regex_constants::match_continuous)) {
      ADD_FAILURE() << "unreadable rule text: " << std::string(begin, line.cend());
      break;
    }
    out.push_back({m[1], m[3], m[4]});
    begin = m[0].second;
  }
  return out;
}

std::string Hex4(unsigned v) {
  char s[8];
  std::snprintf(s, sizeof s, "%04x", v);
  return s;
}

TEST(UdevRule, GivesTheSeatUserTheInstrumentsHidrawNodeAndNothingElse) {
  const std::string name = "70-quorvel.rules";
  // logind's 73-seat-late.rules turns the uaccess tag into the user's ACL:
  // the tag must be set by a rule file read before it.
  EXPECT_LT(name, std::string("73-seat-late.rules"));

  std::vector<std::string> rules;
  std::string pending;
  for (const auto& line : Lines(ReadFile(name))) {
    const auto first = line.find_first_not_of(" \t");
    if (pending.empty() && (first == std::string::npos || line[first] == '#')) continue;
    if (!line.empty() && line.back() == '\\') {
      pending += line.substr(0, line.size() - 1);
      continue;
    }
    rules.push_back(pending + line);
    pending.clear();
  }
  ASSERT_EQ(rules.size(), 1u);

  // The identity the program's simulated instrument shares with the real one;
  // sysfs writes idVendor and idProduct as four lower-case hex digits.
  quorvel::TSimulatedBackend sim;
  sim.AddInstrument();
  const auto devices = sim.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  const std::map<std::string, std::string> expectedMatch = {
      {"SUBSYSTEM", "hidraw"},
      {"ATTRS{idVendor}", Hex4(devices[0].VendorID)},
      {"ATTRS{idProduct}", Hex4(devices[0].ProductID)},
  };
  EXPECT_EQ(expectedMatch.at("ATTRS{idVendor}"), "04d8");
  EXPECT_EQ(expectedMatch.at("ATTRS{idProduct}"), "003f");

  std::map<std::string, std::string> match;
  std::vector<std::string> assignments;
  for (const auto& item : ParseRule(rules[0])) {
    if (item.op == "==")
      match[item.key] = item.value;
    else
      assignments.push_back(item.key + item.op + item.value);
  }
  EXPECT_EQ(match, expectedMatch);
  // No MODE, GROUP, OWNER or RUN: the node keeps the kernel's 0600 root:root
  // for everyone but the logged-in user.
  EXPECT_EQ(assignments, std::vector<std::string>{"TAG+=uaccess"});
}

TEST(UdevRule, ReaderRefusesMalformedItems) {
  // The reader above must not let a broken rule pass for a good one.
  const char* bad[] = {
      R"(SUBSYSTEM=="hidraw" ATTRS{idVendor}=="04d8")",  // missing comma
      R"(SUBSYSTEM==hidraw)",                            // value not quoted
      R"(subsystem=="hidraw")",                          // keys are upper case
  };
  for (const char* line : bad) {
    SCOPED_TRACE(line);
    EXPECT_NONFATAL_FAILURE(ParseRule(line), "unreadable rule text");
  }
}

using IniGroups = std::map<std::string, std::map<std::string, std::string>>;

// Desktop entries and systemd units: [Group] lines and Key=Value lines.
IniGroups ParseIni(const std::string& text) {
  IniGroups out;
  std::string group;
  for (const auto& line : Lines(text)) {
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      group = line.substr(1, line.size() - 2);
      continue;
    }
    const auto eq = line.find('=');
    EXPECT_NE(eq, std::string::npos) << line;
    if (eq != std::string::npos) out[group][line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// Checks that a command line runs the installed `program` with options that
// it accepts, and returns them parsed.
quorvel::TOptions QuorvelCommand(const std::string& commandLine,
                                 const std::string& program = "quorvel") {
  auto words = Words(commandLine);
  EXPECT_FALSE(words.empty());
  if (words.empty()) return {};
  EXPECT_EQ(words[0], program) << commandLine;
  std::string error;
  const auto options = ParseOptions({words.begin() + 1, words.end()}, error);
  EXPECT_TRUE(options.has_value()) << commandLine << ": " << error;
  return options.value_or(quorvel::TOptions{});
}

TEST(DesktopEntry, StartsTheProgramWithItsIconInTheScienceMenu) {
  auto ini = ParseIni(ReadFile("quorvel.desktop"));
  auto& entry = ini["Desktop Entry"];
  EXPECT_EQ(entry["Type"], "Application");
  EXPECT_EQ(entry["Terminal"], "false");
  const auto plain = QuorvelCommand(entry["Exec"]);
  EXPECT_FALSE(plain.headless);
  EXPECT_FALSE(plain.UsesSimulator());

  // The icon name is the file name of the installed icon, without extension.
  EXPECT_EQ(entry["Icon"], "quorvel");
  QFile icon(QString::fromStdString(kDir + "/" + entry["Icon"] + ".svg"));
  ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
  QXmlStreamReader svg(&icon);
  ASSERT_TRUE(svg.readNextStartElement()) << svg.errorString().toStdString();
  EXPECT_EQ(svg.name().toString().toStdString(), "svg");
  EXPECT_EQ(svg.attributes().value("viewBox").toString().toStdString(), "0 0 128 128");
  while (!svg.atEnd()) svg.readNext();
  EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();

  std::set<std::string> categories;
  std::istringstream list(entry["Categories"]);
  for (std::string c; std::getline(list, c, ';');) categories.insert(c);
  EXPECT_TRUE(categories.count("Science"));
  EXPECT_TRUE(categories.count("Astronomy"));

  // Every action starts the program with options it accepts.
  std::istringstream actions(entry["Actions"]);
  int count = 0;
  for (std::string a; std::getline(actions, a, ';');) {
    SCOPED_TRACE(a);
    ASSERT_TRUE(ini.count("Desktop Action " + a));
    const auto options = QuorvelCommand(ini["Desktop Action " + a]["Exec"]);
    EXPECT_FALSE(options.headless);
    ++count;
  }
  EXPECT_GE(count, 1);
  EXPECT_TRUE(QuorvelCommand(ini["Desktop Action simulate"]["Exec"]).simulate);
}

TEST(UserService, RunsTheHeadlessProgramAndRestartsItAfterAFailure) {
  auto ini = ParseIni(ReadFile("quorvel-headless.service"));
  // The program without a window, from the package without display libraries.
  const auto options = QuorvelCommand(ini["Service"]["ExecStart"], "quorvel-headless");
  // The real instrument, for as long as the session lasts.
  EXPECT_FALSE(options.UsesSimulator());
  EXPECT_FALSE(options.durationSec.has_value());
  EXPECT_EQ(ini["Service"]["Restart"], "on-failure");
  EXPECT_EQ(ini["Install"]["WantedBy"], "default.target");
}

// The archive's collector: a system service that restarts after a failure,
// whose default command line is one quorvel-collect accepts.
TEST(CollectService, RunsTheCollectorAndRestartsItAfterAFailure) {
  auto ini = ParseIni(ReadFile("quorvel-collect.service"));
  std::string command = ini["Service"]["ExecStart"];
  std::string env = ini["Service"]["Environment"];
  const std::string name = "QUORVEL_COLLECT_OPTIONS=";
  ASSERT_EQ(env.find("\"" + name), 0u) << env;
  env = env.substr(name.size() + 1, env.size() - name.size() - 2);
  const auto at = command.find("$QUORVEL_COLLECT_OPTIONS");
  ASSERT_NE(at, std::string::npos) << command;
  command.replace(at, std::string("$QUORVEL_COLLECT_OPTIONS").size(), env);
  auto words = Words(command);
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words[0], "quorvel-collect");
  words.erase(words.begin());
  std::string out, err;
  int code = -1;
  EXPECT_TRUE(quorvel::archive::ParseCollectArgs(words, out, err, code)) << err;
  EXPECT_EQ(ini["Service"]["Restart"], "on-failure");
  EXPECT_EQ(ini["Install"]["WantedBy"], "multi-user.target");
}

}  // namespace
