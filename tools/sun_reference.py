#!/usr/bin/python3
"""Reference Sun positions from astropy, for the ephemeris cross-check test.

Run with Debian's Python and its python3-astropy package:

    /usr/bin/python3 tools/sun_reference.py > tests/ephemeris/data/sun_reference.csv

Offline: astropy's built-in solar-system ephemeris, no IERS download, UT1 taken
equal to UTC as the program's ephemeris does (polar motion, under half an
arcsecond, comes from astropy's bundled table where it covers the date). For each instant and site the table gives the Sun's
topocentric apparent azimuth and elevation without refraction, the elevation
with astropy's refraction for 1010 hPa and 10 C (dry air, 0.55 um), and the
apparent geocentric right ascension and declination of date (true equator and
equinox).
"""

import random
import sys
import warnings

import numpy as np
from astropy import units as u
from astropy.coordinates import (AltAz, EarthLocation, TETE, get_body,
                                 solar_system_ephemeris)
from astropy.time import Time
from astropy.utils import iers

iers.conf.auto_download = False
iers.conf.auto_max_age = None
warnings.simplefilter("ignore")  # dates beyond the bundled IERS tables

# How many rows of each kind: Sun well up, near the horizon, below it.
WANTED = {"high": 40, "low": 8, "below": 6}


def classify(el):
    if el > 5:
        return "high"
    if el > -1:
        return "low"
    return "below"


def sun_rows(seed=20240320):
    rng = random.Random(seed)
    got = {k: 0 for k in WANTED}
    rows = []
    while any(got[k] < WANTED[k] for k in WANTED):
        year = rng.randint(1950, 2049)
        day = rng.randint(0, 364)
        seconds = rng.randint(0, 86399)
        ms = rng.choice([0, 0, rng.randint(0, 999)])
        lat = round(rng.uniform(-70, 70), 4)
        lon = round(rng.uniform(-180, 180), 4)
        alt = float(rng.choice([0, 0, rng.randint(0, 3000)]))
        t = Time(f"{year}-01-01T00:00:00", scale="utc") + (day * 86400 + seconds + ms / 1000) * u.s
        t = Time(t.strftime("%Y-%m-%dT%H:%M:%S") + f".{ms:03d}", scale="utc")
        t.delta_ut1_utc = 0.0
        site = EarthLocation.from_geodetic(lon * u.deg, lat * u.deg, alt * u.m)
        sun = get_body("sun", t, site)
        geometric = sun.transform_to(AltAz(obstime=t, location=site, pressure=0 * u.hPa))
        kind = classify(geometric.alt.deg)
        if got[kind] >= WANTED[kind]:
            continue
        got[kind] += 1
        refracted = sun.transform_to(
            AltAz(obstime=t, location=site, pressure=1010 * u.hPa, temperature=10 * u.deg_C,
                  relative_humidity=0, obswl=0.55 * u.micron))
        geocentric = get_body("sun", t).transform_to(TETE(obstime=t))
        rows.append((t.strftime("%Y-%m-%dT%H:%M:%S") + f".{ms:03d}", lat, lon, alt,
                     geometric.az.deg, geometric.alt.deg, refracted.alt.deg,
                     geocentric.ra.hour, geocentric.dec.deg))
    rows.sort()
    return rows


def main():
    with solar_system_ephemeris.set("builtin"):
        rows = sun_rows()
    out = sys.stdout
    out.write("# Sun positions computed with astropy %s (built-in ephemeris, UT1 = UTC,\n"
              % __import__("astropy").__version__)
    out.write("# polar motion from its bundled table where it has one) by\n")
    out.write("# tools/sun_reference.py. Longitudes east positive.\n")
    out.write("# az and el_geometric: topocentric apparent, no refraction; el_refracted: with\n")
    out.write("# refraction for 1010 hPa, 10 C, dry air, 0.55 um; ra/dec: apparent geocentric,\n")
    out.write("# true equator and equinox of date.\n")
    out.write("utc,lat_deg,lon_deg,alt_m,az_deg,el_geometric_deg,el_refracted_deg,ra_h,dec_deg\n")
    for r in rows:
        out.write("%s,%.4f,%.4f,%.0f,%.7f,%.7f,%.7f,%.8f,%.7f\n" % r)


if __name__ == "__main__":
    main()
