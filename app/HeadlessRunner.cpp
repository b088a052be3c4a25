#include "HeadlessRunner.h"

#include <ostream>

namespace quorvel {

THeadlessView::THeadlessView(std::ostream& out, std::optional<bool> injectDefaultCalibration)
    : out_(out), inject_(injectDefaultCalibration) {
  labels_.fill("???");
}

void THeadlessView::AppendLogLine(const std::string& line) {
  out_ << line << '\n';
  out_.flush();
  ++lines_;
}

void THeadlessView::SetValueLabel(TValueLabel label, const std::string& text) {
  labels_[static_cast<int>(label)] = text;
}

void THeadlessView::SetStatusText(int panel, const std::string& text) {
  if (panel >= 0 && panel < 3) status_[static_cast<std::size_t>(panel)] = text;
}

bool THeadlessView::AskYesNo(const std::string& question) {
  const bool yes = inject_.value_or(false);
  AddtoMemoLog(*this, question + " -> " + (yes ? "Yes" : "No") +
                          (inject_ ? " (--inject-default-calibration)"
                                   : " (no --inject-default-calibration given)"));
  return yes;
}

void THeadlessView::ShowError(const std::string& text) {
  AddtoMemoLog(*this, text);
}

void THeadlessView::ShowMessage(const std::string& text) {
  AddtoMemoLog(*this, text);
}

void THeadlessView::OnAcquisitionStopped() {
  AddtoMemoLog(*this, "Acquisition stopped, waiting for the instrument to be attached again");
}

}  // namespace quorvel
