#pragma once

#include <QDate>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "core/access_lock.h"
#include "sim/simulator.h"

// The command-line front end in-process, against the simulator on its
// pseudo-terminal, in a data directory of its own.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
  }

  // Runs one command line with the day's PIN and the simulator as port.
  int Run(QStringList args, bool withPort = true) {
    QStringList global{QStringLiteral("--dir"), dir_.path(), QStringLiteral("--pin"), pin_};
    if (withPort) global << QStringLiteral("--port") << QString::fromStdString(sim_.DevicePath());
    out_.clear();
    err_.clear();
    QTextStream out(&out_), err(&err_);
    return RunCli(global + args, out, err);
  }
  QString Path(const char* name) { return QDir(dir_.path()).filePath(name); }

  sim::Simulator sim_;
  QTemporaryDir dir_;
  QString pin_ = DailyServiceCode(QDate::currentDate());
  QString out_, err_;
};
