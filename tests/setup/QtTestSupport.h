// Shared by the widget tests: one QApplication for the whole test program
// (offscreen platform, set by the test runner) and a message sink that keeps
// the operator messages instead of showing boxes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "common/EventLog.h"

namespace quorvel::testing {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "quorvel-tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

inline const bool kQtAppRegistered =
    (::testing::AddGlobalTestEnvironment(new QtAppEnvironment), true);

struct CaptureSink : IMessageSink {
  std::vector<std::string> errors;
  std::vector<std::string> messages;
  int questions = 0;
  CaptureSink() { SetMessageSink(this); }
  ~CaptureSink() override { SetMessageSink(nullptr); }
  CaptureSink(const CaptureSink&) = delete;
  CaptureSink& operator=(const CaptureSink&) = delete;
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string&) override {
    ++questions;
    return false;
  }
};

}  // namespace quorvel::testing
