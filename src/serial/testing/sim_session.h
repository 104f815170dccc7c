#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <mutex>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/testing/scripted_ui.h"
#include "core/testing/phones.h"
#include "serial/link.h"
#include "serial/port_names.h"
#include "sim/simulator.h"

// A session whose COM7 is the simulated controller on a pseudo-terminal.
class SimSessionTest : public ::testing::Test {
 protected:
  explicit SimSessionTest(sim::Simulator::Options options = {}) : sim_(options) {}

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    RememberPortAlias(session_.FilePath(kSettingsFileName), 7, QString::fromStdString(sim_.DevicePath()));
    UpsertSetting(session_, kKeyPort, "7");
    // Silent controllers are part of the cases; nobody wants to wait 2 s for each.
    link_.options().replyWaitMs = 300;
  }

  // Seeds the controller while its worker is held still.
  template <typename F>
  void WithController(F&& change) {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    change(sim_.controller());
  }

  std::vector<std::string> Received() { return sim_.Received(); }

  // Runs one command with a progress of its own, as a front end does.
  template <typename F>
  auto Run(F&& command) {
    Progress progress(ui_);
    return command(progress);
  }

  sim::Simulator sim_;
  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  Link link_{session_};
  ScriptedUi ui_;
};
