// Every measurement as a table for other tools: CSV, or ECSV (the Enhanced
// Character Separated Values format astropy reads with its units and
// metadata). Streams: one row per measurement, nothing kept.
#pragma once

#include <ostream>

#include "history/Report.h"
#include "history/ResultReader.h"

namespace quorvel::history {

enum class TExportFormat { Csv, Ecsv };

class TExportWriter {
 public:
  TExportWriter(std::ostream& out, TExportFormat format, const TReportMeta& meta);
  void Add(const TMeasurement& m);
  std::uint64_t Rows() const { return rows_; }

 private:
  std::ostream& out_;
  TExportFormat format_;
  std::uint64_t rows_ = 0;
};

}  // namespace quorvel::history
