// quorvel-sun: the Sun's position at an instant and site, from the program's
// own ephemeris. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "ephemeris/SunReport.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return quorvel::ephem::RunSunTool(args, std::cin, std::cout, std::cerr);
}
