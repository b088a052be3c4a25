// Installs a message sink that records the error boxes shown while it lives.
#pragma once

#include <string>
#include <vector>

#include "common/EventLog.h"

namespace quorvel::ephem {

class MessageCapture final : public IMessageSink {
 public:
  MessageCapture() { SetMessageSink(this); }
  ~MessageCapture() override { SetMessageSink(nullptr); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return false; }

  std::vector<std::string> errors;
  std::vector<std::string> messages;
};

}  // namespace quorvel::ephem
