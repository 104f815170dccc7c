#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>

#include "app/progress_panel.h"
#include "app/testing/window_test.h"
#include "serial/testing/sim_session.h"
#include "sim/simulator.h"

namespace {

// The window's controller commands against the simulated controller.
class WindowControllerTest : public WindowTest {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    WindowTest::SetUp();
    RememberPortAlias(session_->FilePath(kSettingsFileName), 4, QString::fromStdString(sim_.DevicePath()));
    UpsertSetting(*session_, kKeyPort, "4");
  }

  sim::Simulator sim_;
};

TEST_F(WindowControllerTest, MarkedRowsGoToTheControllerFromTheListMenu) {
  for (const char* tel : {"600100200", "501222333"}) AddPhone(*session_, "", "", tel);
  Click(W("Shape9"));  // mark every row
  window_->Image25Click();
  Click(W("zap_do_sterownika"));
  // The outcome is on the line under the views; no box to dismiss.
  EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8("Zapisano w sterowniku 2 numery"));
  EXPECT_TRUE(window_->outcomeLine()->isVisible());
  EXPECT_EQ(sim_.Received(), (std::vector<std::string>{"AT+CPBW=002,\"600100200\",145,\"600100200\"",
                                                       "AT+CPBW=003,\"501222333\",145,\"501222333\"",
                                                       "AT+CPBW=004,\"999999999\",145,\"999999999\""}));
  EXPECT_FALSE(W("MenuLista")->isVisible());
  EXPECT_FALSE(window_->progressPanel()->isVisible());
  EXPECT_EQ(session_->memcheck.Count(), 0);
}

TEST_F(WindowControllerTest, TheConfigurationReadFillsTheViewAndTheFetchFillsTheReport) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(1, "600100200", "600100200");
    sim_.controller().SetSlot(1002, "698765432", "");
    sim_.controller().SetRelayCode(5);
    sim_.controller().AddEvent("501222333", "2612011530");
  }
  window_->zap_menu_konfigClick();
  Click(W("odczyt_konfig_com"));
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "teladmin")->text(), "600100200");
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "telster")->text(), "698765432")
      << Find<QPlainTextEdit>(window_.get(), "Log")->toPlainText().toStdString();
  EXPECT_EQ(Find<QComboBox>(window_.get(), "listczas")->currentText(), "1.8 sek");
  EXPECT_EQ(Find<QComboBox>(window_.get(), "listcom")->currentText(), "COM4");

  Click(W("Label3"));
  Find<QLineEdit>(window_.get(), "edilpob")->setText("1");
  Click(W("pobierz_wpisy"));
  auto* report = Find<QTableView>(window_.get(), "RxDBGrid2");
  ASSERT_EQ(report->model()->rowCount(), 1);
  EXPECT_EQ(report->model()->index(0, 0).data().toString(), "501222333");
  EXPECT_EQ(report->model()->index(0, 1).data().toString(), "26/12/01 15:30");
  // The log pane shows the conversation.
  EXPECT_TRUE(Find<QPlainTextEdit>(window_.get(), "Log")->toPlainText().contains("AT+CPBM=1"));
}

}  // namespace
