// quorvel-headless: the daytime seeing monitor without a display, for
// computers beside the telescope that never show a window. See --help.
#include "app/Run.h"

int main(int argc, char** argv) {
  return quorvel::ProgramMain(argc, argv, nullptr);
}
