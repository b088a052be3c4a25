#include "archive/ArchiveSql.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace quorvel::archive {

const std::vector<std::string>& SchemaStatements() {
  static const std::vector<std::string> kStatements = {
      // Two collectors starting together must not both create the tables.
      "SELECT pg_advisory_xact_lock(7243000001)",
      "CREATE TABLE IF NOT EXISTS quorvel_schema (\n"
      "  version integer NOT NULL,\n"
      "  created timestamptz NOT NULL DEFAULT now())",
      "CREATE TABLE IF NOT EXISTS stations (\n"
      "  station text PRIMARY KEY,\n"
      "  latitude_deg double precision NOT NULL,\n"
      "  longitude_deg double precision NOT NULL,\n"
      "  altitude_m double precision NOT NULL,\n"
      "  instrument text,\n"
      "  first_seen timestamptz NOT NULL,\n"
      "  last_seen timestamptz NOT NULL)",
      "CREATE TABLE IF NOT EXISTS measurements (\n"
      "  station text NOT NULL REFERENCES stations (station),\n"
      "  utc timestamptz NOT NULL,\n"
      "  jd double precision NOT NULL,\n"
      "  signal_mv double precision NOT NULL,\n"
      "  seeing_arcsec double precision NOT NULL,\n"
      "  r0_mm double precision NOT NULL,\n"
      "  sun_azimuth_deg double precision NOT NULL,\n"
      "  sun_elevation_deg double precision NOT NULL,\n"
      "  seeing_zenith_arcsec double precision NOT NULL,\n"
      "  r0_zenith_mm double precision NOT NULL,\n"
      "  received timestamptz NOT NULL DEFAULT now(),\n"
      "  PRIMARY KEY (station, utc))",
      "INSERT INTO quorvel_schema (version) SELECT " + std::to_string(kSchemaVersion) +
          " WHERE NOT EXISTS (SELECT 1 FROM "
          "quorvel_schema)",
  };
  return kStatements;
}

std::vector<TStatement> InsertStatements(const std::vector<TArchiveRow>& rows) {
  std::vector<TStatement> out;
  if (rows.empty()) return out;
  // Each station once, with the site of its latest measurement.
  struct TSpan {
    const TArchiveRow* first;
    const TArchiveRow* last;
  };
  std::map<std::string, TSpan> stations;
  for (const auto& r : rows) {
    auto [it, fresh] = stations.emplace(r.station, TSpan{&r, &r});
    if (fresh) continue;
    if (r.utcMs < it->second.first->utcMs) it->second.first = &r;
    if (r.utcMs >= it->second.last->utcMs) it->second.last = &r;
  }
  // All stations in one statement (a round trip each would cost more than
  // the measurements).
  std::vector<std::pair<const std::string*, TSpan>> list;
  for (const auto& [name, span] : stations) list.emplace_back(&name, span);
  for (std::size_t from = 0; from < list.size(); from += kMaxRowsPerStatement) {
    const std::size_t to = std::min(list.size(), from + kMaxRowsPerStatement);
    TStatement s;
    s.sql =
        "INSERT INTO stations AS s (station, latitude_deg, longitude_deg, altitude_m, first_seen, "
        "last_seen) VALUES ";
    for (std::size_t i = from; i < to; ++i) {
      const std::size_t p = s.params.size();
      s.sql += (i == from ? "($" : ",($") + std::to_string(p + 1) + ",$" + std::to_string(p + 2) +
               "::float8,$" + std::to_string(p + 3) + "::float8,$" + std::to_string(p + 4) +
               "::float8,$" + std::to_string(p + 5) + "::timestamptz,$" + std::to_string(p + 6) +
               "::timestamptz)";
      const TArchiveRow& l = *list[i].second.last;
      s.params.insert(s.params.end(), {*list[i].first, l.text[8], l.text[9], l.text[10],
                                       list[i].second.first->utc, l.utc});
    }
    s.sql +=
        " ON CONFLICT (station) DO UPDATE SET "
        "latitude_deg = CASE WHEN EXCLUDED.last_seen >= s.last_seen THEN EXCLUDED.latitude_deg "
        "ELSE s.latitude_deg END, "
        "longitude_deg = CASE WHEN EXCLUDED.last_seen >= s.last_seen THEN EXCLUDED.longitude_deg "
        "ELSE s.longitude_deg END, "
        "altitude_m = CASE WHEN EXCLUDED.last_seen >= s.last_seen THEN EXCLUDED.altitude_m "
        "ELSE s.altitude_m END, "
        "first_seen = LEAST(s.first_seen, EXCLUDED.first_seen), "
        "last_seen = GREATEST(s.last_seen, EXCLUDED.last_seen)";
    out.push_back(std::move(s));
  }
  // Duplicates inside one batch go here; those already stored, in the
  // database.
  std::set<std::pair<std::string, std::int64_t>> seen;
  std::vector<const TArchiveRow*> unique;
  for (const auto& r : rows)
    if (seen.emplace(r.station, r.utcMs).second) unique.push_back(&r);
  for (std::size_t from = 0; from < unique.size(); from += kMaxRowsPerStatement) {
    const std::size_t to = std::min(unique.size(), from + kMaxRowsPerStatement);
    TStatement s;
    s.sql =
        "INSERT INTO measurements (station, utc, jd, signal_mv, seeing_arcsec, r0_mm, "
        "sun_azimuth_deg, sun_elevation_deg, seeing_zenith_arcsec, r0_zenith_mm) VALUES ";
    s.params.reserve((to - from) * 10);
    for (std::size_t i = from; i < to; ++i) {
      const TArchiveRow& r = *unique[i];
      s.sql += i == from ? "(" : ",(";
      for (int k = 0; k < 10; ++k) {
        s.sql += (k ? ",$" : "$") + std::to_string(s.params.size() + 1 + k);
      }
      s.sql += ")";
      s.params.push_back(r.station);
      s.params.push_back(r.utc);
      for (int k = 0; k < 8; ++k) s.params.push_back(r.text[k]);
    }
    s.sql += " ON CONFLICT (station, utc) DO NOTHING";
    out.push_back(std::move(s));
  }
  return out;
}

TStatement SelectMeasurements(const std::string& station) {
  TStatement s;
  s.sql =
      "SELECT station, jd, signal_mv, seeing_arcsec, r0_mm, sun_azimuth_deg, sun_elevation_deg, "
      "seeing_zenith_arcsec, r0_zenith_mm FROM measurements";
  if (!station.empty()) {
    s.sql += " WHERE station = $1";
    s.params.push_back(station);
  }
  s.sql += " ORDER BY station, utc";
  return s;
}

TStatement SelectStations(const std::string& station) {
  TStatement s;
  s.sql = "SELECT station, latitude_deg, longitude_deg, altitude_m FROM stations";
  if (!station.empty()) {
    s.sql += " WHERE station = $1";
    s.params.push_back(station);
  }
  s.sql += " ORDER BY station";
  return s;
}

}  // namespace quorvel::archive

namespace quorvel::archive {

TStatement UpdateInstrument(const std::string& station, const std::string& instrument) {
  return {"UPDATE stations SET instrument = $2 WHERE station = $1 RETURNING station",
          {station, instrument}};
}

std::optional<int> ConnectTimeoutSeconds(const std::string& connectTimeout) {
  std::size_t at = 0;
  while (at < connectTimeout.size() && std::isspace(static_cast<unsigned char>(connectTimeout[at])))
    ++at;
  if (at == connectTimeout.size()) return kDefaultConnectTimeoutS;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(connectTimeout.c_str() + at, &end, 10);
  while (*end && std::isspace(static_cast<unsigned char>(*end))) ++end;
  // libpq refuses such a value before any attempt; never "no limit" here.
  if (errno != 0 || *end || end == connectTimeout.c_str() + at || v > INT_MAX)
    return kDefaultConnectTimeoutS;
  if (v <= 0) return std::nullopt;
  return std::max<int>(2, static_cast<int>(v));
}

}  // namespace quorvel::archive
