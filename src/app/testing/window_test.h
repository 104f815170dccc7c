#pragma once

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/access_lock.h"
#include "core/session.h"
#include "widgets/testing/modal.h"
#include "app/main_window.h"

// A main window on a fresh directory, shown and past its activation step
// (its PIN lock opened with the day's service code).
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<Session>(temp_.path());
    window_ = std::make_unique<TForm1>(*session_);
    window_->askPin = [this] { return DailyServiceCode(session_->Today()); };
    window_->show();
    window_->FormActivate();
  }

  QWidget* W(const char* name) { return Find(window_.get(), name); }

  QTemporaryDir temp_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<TForm1> window_;
};

// The window's eight view panels.
inline const char* const kPanels[8] = {"panel_lista_l",   "panel_lista_g",   "panel_konfig_l",  "panel_konfig_g",
                                       "panel_raporty_l", "panel_raporty_g", "panel_ofirmie_l", "panel_ofirmie_g"};

class MainWindowTest : public WindowTest {
 protected:
  // Names of the visible view panels.
  std::vector<std::string> VisiblePanels() {
    std::vector<std::string> visible;
    for (const char* name : kPanels) {
      if (W(name)->isVisible()) visible.emplace_back(name);
    }
    return visible;
  }
};
