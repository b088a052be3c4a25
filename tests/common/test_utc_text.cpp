#include <gtest/gtest.h>

#include "common/Errors.h"
#include "common/UtcText.h"

namespace quorvel {
namespace {

// Every program that takes a UTC instant on its command line reads it here.
TEST(UtcText, AcceptedForms) {
  struct Case {
    const char* text;
    int y, mo, d, h, mi, s, ms;
  };
  const Case cases[] = {
      {"2024-03-20T12:00:00", 2024, 3, 20, 12, 0, 0, 0},
      {"2024-03-20t12:00:00", 2024, 3, 20, 12, 0, 0, 0},
      {"2024-03-20 12:00:00", 2024, 3, 20, 12, 0, 0, 0},
      {"2026-06-21 09:30:00", 2026, 6, 21, 9, 30, 0, 0},
      {"2024-03-20T12:00:00.5", 2024, 3, 20, 12, 0, 0, 500},
      {"2024-03-20T12:00:00.5Z", 2024, 3, 20, 12, 0, 0, 500},
      {"2024-03-20 12:00:00.123", 2024, 3, 20, 12, 0, 0, 123},
      {"2024-03-20T23:59:59.999Z", 2024, 3, 20, 23, 59, 59, 999},
      {"2024-03-20T23:59:59z", 2024, 3, 20, 23, 59, 59, 0},
      {"  2024-03-20T12:00:00  ", 2024, 3, 20, 12, 0, 0, 0},
      {"0001-01-01T00:00:00", 1, 1, 1, 0, 0, 0, 0},
      {"9999-12-31T23:59:59.12", 9999, 12, 31, 23, 59, 59, 120},
      {"1850-05-01T06:30:00", 1850, 5, 1, 6, 30, 0, 0},
      {"2024-02-29T00:00:00", 2024, 2, 29, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseUtcText(c.text), EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms)) << c.text;
  }
  EXPECT_EQ(UnixMsFromDateTime(ParseUtcText("2024-03-20T12:00:00.5Z")), 1710936000500LL);
  EXPECT_EQ(FormatUtcText(ParseUtcText("2024-03-20T07:05:03.007")), "2024-03-20T07:05:03.007");
}

TEST(UtcText, RefusedFormsSayWhy) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "invalid UTC time \"\""},
      {"2024-03-20", "invalid UTC time \"2024-03-20\""},
      {"2024-03-20  12:00:00", "invalid UTC time"},
      {"2024-03-20_12:00:00", "invalid UTC time"},
      {"2024-3-20T12:00:00", "invalid UTC time"},
      {"x024-03-20T12:00:00", "invalid UTC time"},
      {"2024-03-20T12:00:00.", "invalid UTC time"},
      {"2024-03-20T12:00:00.1234", "invalid UTC time"},
      {"2024-03-20T12:00:00,5", "invalid UTC time"},
      {"2024-03-20T12:00", "invalid UTC time"},
      {"now", "invalid UTC time \"now\" (expected YYYY-MM-DDTHH:MM:SS[.mmm])"},
      {"0000-06-01T00:00:00", "year 0 of \"0000-06-01T00:00:00\" is outside 1..9999"},
      {"10000-01-01T00:00:00", "year 10000 of"},
      {"-0044-03-15T12:00:00", "year -44 of"},
      {"2023-02-29T00:00:00", "no such date or time: \"2023-02-29T00:00:00\""},
      {"2024-02-30T00:00:00", "no such date or time"},
      {"2024-13-01T00:00:00", "no such date or time"},
      {"2024-03-20T24:00:00", "no such date or time"},
      {"2024-03-20T12:60:00", "no such date or time"},
  };
  for (const Case& c : cases) {
    try {
      ParseUtcText(c.text);
      ADD_FAILURE() << c.text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace quorvel
