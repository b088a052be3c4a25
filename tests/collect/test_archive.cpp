// The archive's pure parts: which messages become rows, the statements a
// batch gives, and quorvel-collect's command line.
#include <gtest/gtest.h>

#include "archive/ArchiveRow.h"
#include "archive/ArchiveSql.h"
#include "archive/CollectOptions.h"
#include "live/LiveSnapshot.h"
#include "tests/collect/SamplePayload.h"

namespace quorvel::archive {
namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  const auto at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

TEST(ArchiveRow, APublishedMeasurementReadsBackWithTheTextItWasPrintedWith) {
  std::string error;
  const auto row = ParseMeasurement("north", test::SamplePayload(), error);
  ASSERT_TRUE(row) << error;
  EXPECT_EQ(row->station, "north");
  EXPECT_EQ(row->utc, "2026-05-03T08:00:00.000Z");
  EXPECT_EQ(row->utcMs, 1777795200000);
  EXPECT_EQ(row->text[2], "1.52");
  EXPECT_EQ(row->text[7], "88.0");
  EXPECT_DOUBLE_EQ(row->seeing, 1.52);
  EXPECT_DOUBLE_EQ(row->longitudeEastDeg, -3.25);
  EXPECT_EQ(row->text[10], "1200");
}

TEST(ArchiveRow, BadMessagesAreRefusedWithTheirReason) {
  const std::string p = test::SamplePayload();
  struct TCase {
    std::string topicStation, payload, why;
  };
  const TCase cases[] = {
      {"north", "", "not a JSON object"},
      {"north", "[1,2]", "not a JSON object"},
      {"north", p + "x", "text after the JSON object"},
      {"north", p.substr(0, p.size() - 1), "not a JSON object"},
      {"north", Replace(p, "\"r0_mm\":67.1,", ""), "no \"r0_mm\""},
      {"north", Replace(p, "\"station\":\"north\",", ""), "no \"station\""},
      {"north", Replace(p, "67.1", "null"), "\"r0_mm\" is not a number"},
      {"north", Replace(p, "67.1", "\"67.1\""), "\"r0_mm\" is not a number"},
      {"north", Replace(p, "67.1", "6e999"), "\"r0_mm\" is not a number"},
      {"north", Replace(p, "67.1", "067"), "not a JSON object"},
      {"north", Replace(p, "1.52", "-1.52"), "\"seeing_arcsec\" is out of range"},
      {"north", Replace(p, "48.117", "91"), "\"sun_elevation_deg\" is out of range"},
      {"north", Replace(p, "45.5", "95.5"), "\"latitude_deg\" is out of range"},
      {"north", Replace(p, "08:00:00.000Z", "08:00:00Z"), "\"utc\" is not an instant"},
      {"north", Replace(p, "2026-05-03", "2026-02-30"), "\"utc\" is not an instant"},
      {"north", Replace(p, "2026-05-03T08", "2026-05-03T09"), "\"jd\""},
      {"south", p, "\"station\" is 'north' on the topic of 'south'"},
      {"north", Replace(p, "{", "{\"utc\":\"x\","), "comes twice"},
      {"north", Replace(p, "\"north\"", "\"a/b\""), "one topic level"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseMeasurement(c.topicStation, c.payload, error)) << c.payload;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.payload << "\n -> " << error;
  }
}

TEST(ArchiveRow, JsonThatIsFineButUnusualIsRead) {
  const std::string p = test::SamplePayload("st\xC3\xA9", 1777795200123);
  const std::string cases[] = {
      " \n" + Replace(p, ",", " ,\t") + " \r\n",
      Replace(p, "\"st\xC3\xA9\"", "\"st\\u00e9\""),
      Replace(p, "{", "{\"extra\":{\"a\":[1,{\"b\":null}],\"c\":true},"),
      Replace(p, "67.1", "6.71e1"),
  };
  for (const auto& c : cases) {
    std::string error;
    const auto row = ParseMeasurement("st\xC3\xA9", c, error);
    ASSERT_TRUE(row) << c << "\n" << error;
    EXPECT_EQ(row->utcMs, 1777795200123);
    EXPECT_DOUBLE_EQ(row->r0, 67.1);
  }
}

TEST(ArchiveRow, OnlyMeasurementTopicsNameAStation) {
  EXPECT_EQ(StationOfTopic("quorvel", "quorvel/north/measurement"), "north");
  EXPECT_EQ(StationOfTopic("net/a", "net/a/north/measurement"), "north");
  for (const char* t : {"quorvel/measurement", "quorvel//measurement", "quorvel/a/b/measurement",
                        "other/north/measurement", "quorvel/north/state", "quorvelx/n/measurement"})
    EXPECT_FALSE(StationOfTopic("quorvel", t)) << t;
}

TEST(ArchiveRow, StateTopicsNameAStationToo) {
  EXPECT_EQ(StationOfTopic("quorvel", "quorvel/north/state", "state"), "north");
  for (const char* t :
       {"quorvel/north/measurement", "quorvel/a/b/state", "quorvel//state", "quorvel/north/status"})
    EXPECT_FALSE(StationOfTopic("quorvel", t, "state")) << t;
}

// The instrument of a station's state, made by the publisher's own code;
// and the states that name none, with their reason.
TEST(ArchiveRow, TheStateNamesTheInstrument) {
  TLiveSnapshot s;
  s.station = "north";
  s.serialNumber = 4294900475u;
  const std::string state = SnapshotJson(s);
  std::string error;
  EXPECT_EQ(ParseStateInstrument("north", state, error), "4294900475") << error << state;
  s.serialNumber.reset();
  EXPECT_FALSE(ParseStateInstrument("north", SnapshotJson(s), error));
  EXPECT_EQ(error, "") << "not read yet: nothing to say";

  const std::string serial = "\"serial_number\":4294900475";
  struct TCase {
    std::string payload;
    std::string why;
  };
  const TCase cases[] = {
      {"not json", "not a JSON object"},
      {"", "not a JSON object"},
      {Replace(state, "\"station\":\"north\"", "\"station\":\"south\""),
       "\"station\" is 'south' on the topic of 'north'"},
      {Replace(state, "\"station\":\"north\",", ""), "no \"station\""},
      {Replace(state, serial + ",", ""), "no \"serial_number\""},
      {Replace(state, serial, "\"serial_number\":-1"),
       "\"serial_number\" is not a serial number: -1"},
      {Replace(state, serial, "\"serial_number\":4294967296"),
       "\"serial_number\" is not a serial number: 4294967296"},
      {Replace(state, serial, "\"serial_number\":12.5"),
       "\"serial_number\" is not a serial number: 12.5"},
      {Replace(state, serial, "\"serial_number\":\"123\""),
       "\"serial_number\" is not a serial number: 123"},
      {Replace(state, serial, "\"serial_number\":[1]"),
       "\"serial_number\" is not a serial number: [1]"},
  };
  for (const auto& c : cases) {
    error.clear();
    EXPECT_FALSE(ParseStateInstrument("north", c.payload, error)) << c.payload;
    EXPECT_EQ(error, c.why) << c.payload;
  }
}

TEST(ArchiveSql, ABatchStoresEachStationOnceAndEachMeasurementOnce) {
  std::vector<TArchiveRow> rows;
  std::string error;
  for (const auto& [station, ms] :
       std::vector<std::pair<std::string, std::int64_t>>{{"north", 1777795201000},
                                                         {"south", 1777795201000},
                                                         {"north", 1777795202000},
                                                         {"north", 1777795201000}}) {
    auto r = ParseMeasurement(station, test::SamplePayload(station, ms), error);
    ASSERT_TRUE(r) << error;
    rows.push_back(*r);
  }
  const auto s = InsertStatements(rows);
  ASSERT_EQ(s.size(), 2u);
  // Each station once, with its first and last instant of the batch.
  ASSERT_EQ(s[0].params.size(), 12u);
  EXPECT_EQ(s[0].params[0], "north");
  EXPECT_EQ(s[0].params[4], "2026-05-03T08:00:01.000Z");
  EXPECT_EQ(s[0].params[5], "2026-05-03T08:00:02.000Z");
  EXPECT_EQ(s[0].params[6], "south");
  // The repeated north measurement goes once; each row has ten values.
  EXPECT_EQ(s[1].params.size(), 30u);
  EXPECT_NE(s[1].sql.find("ON CONFLICT (station, utc) DO NOTHING"), std::string::npos);
  EXPECT_NE(s[1].sql.find("($21,$22,$23,$24,$25,$26,$27,$28,$29,$30)"), std::string::npos);

  // Large batches are split so that no statement nears libpq's limit of
  // 65535 parameters.
  std::vector<TArchiveRow> many(2500, rows[0]);
  for (std::size_t i = 0; i < many.size(); ++i) many[i].utcMs += static_cast<std::int64_t>(i);
  const auto big = InsertStatements(many);
  ASSERT_EQ(big.size(), 4u);
  EXPECT_EQ(big[1].params.size(), 10000u);
  EXPECT_EQ(big[3].params.size(), 5000u);
}

TEST(CollectOptions, TheCommandLineIsCheckedLikeThePublishers) {
  struct TCase {
    std::vector<std::string> args;
    std::string error;  // empty: accepted
  };
  const TCase cases[] = {
      {{"--mqtt-url", "mqtt://127.0.0.1:1884", "--postgres", "dbname=a"}, ""},
      {{"--mqtt-url=mqtts://h", "--mqtt-user", "u", "--mqtt-password-file", "/p"}, ""},
      {{}, "--mqtt-url is needed"},
      {{"--mqtt-url", "http://h"}, "option --mqtt-url"},
      {{"--mqtt-url", "mqtt://h", "--mqtt-ca", "/ca"}, "TLS"},
      {{"--mqtt-url", "mqtt://h", "--mqtt-password-file", "/p"}, "needs a user name"},
      {{"--mqtt-url", "mqtt://h", "--batch-ms", "0"}, "--batch-ms needs"},
      {{"--mqtt-url", "mqtt://h", "--batch-max", "x"}, "--batch-max needs"},
      {{"--mqtt-url", "mqtt://h", "--client-id"}, "needs a value"},
      {{"--mqtt-url", "mqtt://h", "--frobnicate"}, "unknown option"},
  };
  for (const auto& c : cases) {
    std::string out, err;
    int code = -1;
    const auto o = ParseCollectArgs(c.args, out, err, code);
    EXPECT_EQ(o.has_value(), c.error.empty()) << err;
    EXPECT_EQ(code, c.error.empty() ? 0 : 2);
    if (!c.error.empty()) {
      EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
  }
  EXPECT_EQ(DefaultClientId("obs one.example"), "quorvel-collect-obs_one.example");
}

}  // namespace
}  // namespace quorvel::archive
