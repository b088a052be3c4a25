// The archive's SQL: its schema, the statements the collector runs and their
// parameters. Plain C++, no I/O; pgarchive/ sends them through libpq.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveRow.h"

namespace quorvel::archive {

// The version this program writes; a database with a newer one is refused.
inline constexpr int kSchemaVersion = 1;

// The statements that create what is missing, in order; run in one
// transaction. Tables: quorvel_schema, stations, measurements.
const std::vector<std::string>& SchemaStatements();

// A statement and its text parameters (nullptr-free: every value is set).
struct TStatement {
  std::string sql;
  std::vector<std::string> params;
};

// The stations of `rows` (created, or their site and last time updated)
// and the rows themselves; a row already stored is left as it is. `rows`
// may hold the same measurement twice. At most kMaxRowsPerStatement rows
// go into one statement, so a large batch gives several.
inline constexpr std::size_t kMaxRowsPerStatement = 1000;
std::vector<TStatement> InsertStatements(const std::vector<TArchiveRow>& rows);

// The measurements of one station ("" = every station) in time order, with
// the columns that a results line has: station, jd, signal_mv,
// seeing_arcsec, r0_mm, sun_azimuth_deg, sun_elevation_deg,
// seeing_zenith_arcsec, r0_zenith_mm.
TStatement SelectMeasurements(const std::string& station);
// station, latitude_deg, longitude_deg, altitude_m, of one or every station.
TStatement SelectStations(const std::string& station);

// Sets a station's instrument; returns one row when the station is there
// (not yet: nothing, the station comes with its first measurement).
TStatement UpdateInstrument(const std::string& station, const std::string& instrument);

// How long one connection attempt to the database may take, from the
// connect_timeout libpq settled on (the connection string's, else
// PGCONNECT_TIMEOUT's; "" when neither sets one): unset gives
// kDefaultConnectTimeoutS, so an unanswering host is never waited for
// without end; 0 or less is the user's explicit "no limit" (nothing); 1 is
// 2, as libpq's own least.
inline constexpr int kDefaultConnectTimeoutS = 10;
std::optional<int> ConnectTimeoutSeconds(const std::string& connectTimeout);

}  // namespace quorvel::archive
