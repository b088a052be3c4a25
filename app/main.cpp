// Quorvel command-line front end: decodes one measurement report with the
// default calibration and prints the physical values.
#include <iostream>
#include <string>

#include "common/Format.h"
#include "measure/ComputeCore.h"

using namespace quorvel;

namespace {

bool ParseHexReport(const std::string& hex, TReportBuffer& out) {
  if (hex.size() != 2 * kReportSize) return false;
  for (std::size_t i = 0; i < kReportSize; ++i) {
    const std::string byte = hex.substr(2 * i, 2);
    char* end = nullptr;
    const unsigned long v = std::strtoul(byte.c_str(), &end, 16);
    if (end != byte.c_str() + 2) return false;
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TReportBuffer report{};
  report[1] = 0x81;
  const std::uint8_t mean[] = {0x47, 0x43, 0x50, 0x00};
  const std::uint8_t scint[] = {0x44, 0xFA, 0x00, 0x00};
  std::copy(mean, mean + 4, &report[2]);
  std::copy(scint, scint + 4, &report[14]);
  double elevationDeg = 90;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      std::cout << "usage: quorvel [--report HEX130] [--elevation DEG]\n"
                   "Decodes one 65-byte measurement report (130 hex digits) with the default\n"
                   "calibration and prints the physical values.\n";
      return 0;
    } else if (a == "--report" && i + 1 < argc) {
      if (!ParseHexReport(argv[++i], report)) {
        std::cerr << "quorvel: --report needs 130 hexadecimal digits\n";
        return 2;
      }
    } else if (a == "--elevation" && i + 1 < argc) {
      const auto v = ParseFloat(argv[++i]);
      if (!v) {
        std::cerr << "quorvel: --elevation needs a number of degrees\n";
        return 2;
      }
      elevationDeg = *v;
    } else {
      std::cerr << "quorvel: unknown option " << a << " (try --help)\n";
      return 2;
    }
  }
  TDataSystem cal;
  cal.RShuntSolar = 2125;
  cal.Gain_Filtered = 319;
  cal.Gain_NotFilt = 1;
  cal.OffsetV = 2.52f;
  cal.HauteurSoleil = elevationDeg * 3.141592653589793 / 180;
  TDataOutMes m;
  ConvertDataToPhysValues(cal, report, m);
  std::cout << Format("Signal %1.1f mV, current %s\n",
                      {m.Signal_UtileV * 1000, FormatCurr(m.CurrentSolarA)})
            << Format("Seeing %1.2f arcsec (%s), r0 %1.1f mm\n",
                      {m.seeingArcSec, m.ValidSeeing ? "valid" : "not valid", m.R0})
            << Format("Zenith: seeing %1.2f arcsec, r0 %1.1f mm\n", {m.seeingArcSecZen, m.R0Zen})
            << Format("Box temperature %1.1f C, %u samples\n", {m.TempInsideBox, m.NbSamples});
  return 0;
}
