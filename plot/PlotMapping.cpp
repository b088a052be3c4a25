#include "PlotMapping.h"

#include <cmath>

namespace quorvel {

bool TPlotMapping::Valid() const {
  const auto finite = [](double v) { return std::isfinite(v); };
  return finite(MinX) && finite(MaxX) && finite(MinY) && finite(MaxY) && MaxX > MinX &&
         MaxY > MinY && finite(Width / (MaxX - MinX)) && finite(Height / (MaxY - MinY)) &&
         Width > 0 && Height > 0;
}

}  // namespace quorvel
