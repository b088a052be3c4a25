-- Views of the Quorvel network archive for dashboards (Grafana, notebooks,
-- plain SQL). quorvel-collect creates the tables; these views read them.
-- Install or update (safe to run again):
--   psql -d quorvel -f /usr/share/quorvel-collect/quorvel-archive-views.sql
-- Days and hours are UTC.

-- Per station and UTC day: the count and the medians of the seeing and r0,
-- line of sight and zenith.
CREATE OR REPLACE VIEW quorvel_daily_medians AS
SELECT station,
       (utc AT TIME ZONE 'UTC')::date AS day_utc,
       count(*) AS measurements,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY seeing_arcsec) AS seeing_arcsec,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY seeing_zenith_arcsec) AS seeing_zenith_arcsec,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY r0_mm) AS r0_mm,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY r0_zenith_mm) AS r0_zenith_mm,
       min(utc) AS first_utc,
       max(utc) AS last_utc
FROM measurements
GROUP BY station, (utc AT TIME ZONE 'UTC')::date;

-- Per station and UTC hour (the hour's start): the same medians.
CREATE OR REPLACE VIEW quorvel_hourly_medians AS
SELECT station,
       date_trunc('hour', utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS hour_utc,
       count(*) AS measurements,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY seeing_arcsec) AS seeing_arcsec,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY seeing_zenith_arcsec) AS seeing_zenith_arcsec,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY r0_mm) AS r0_mm,
       percentile_cont(0.5) WITHIN GROUP (ORDER BY r0_zenith_mm) AS r0_zenith_mm
FROM measurements
GROUP BY station, date_trunc('hour', utc AT TIME ZONE 'UTC');

-- Each station's latest measurement with its site.
CREATE OR REPLACE VIEW quorvel_latest AS
SELECT DISTINCT ON (m.station)
       m.station, m.utc, m.seeing_arcsec, m.seeing_zenith_arcsec, m.r0_mm, m.r0_zenith_mm,
       m.signal_mv, m.sun_azimuth_deg, m.sun_elevation_deg,
       s.latitude_deg, s.longitude_deg, s.altitude_m, m.received
FROM measurements m
JOIN stations s USING (station)
ORDER BY m.station, m.utc DESC;
