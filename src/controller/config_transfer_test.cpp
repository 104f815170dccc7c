#include "controller/config_transfer.h"

#include "controller/event_log.h"
#include "outcome/outcome_text.h"
#include "serial/testing/sim_session.h"

namespace {

using Lines = std::vector<std::string>;

class ConfigTransferTest : public SimSessionTest {
 protected:
  QString Stored(const char* key) {
    QString value;
    return FindSetting(session_, key, &value) ? value : QStringLiteral("<none>");
  }
  SettingsValues view_;
};

TEST_F(ConfigTransferTest, ReadingAsksTheEntriesAndLoadsWhatCameBack) {
  WithController([](sim::Controller& c) {
    c.SetSlot(1, "600100200", "600100200");
    c.SetSlot(1002, "698765432", "");
    c.SetSlot(1023, "0192168001", "");
    c.SetRelayCode(8);
  });
  for (const bool admin : {false, true}) {
    sim_.ClearReceived();
    link_.options().adminMode = admin;
    view_.loadedViewKey = 1;         // the menu opens over the configuration view
    session_.UnsavedChanges = true;  // something typed into the view
    const ConfigReadResult result = Run([&](Progress& p) { return ReadConfiguration(link_, p, view_); });
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.lines.confirmed(), admin ? 5 : 3);
    EXPECT_FALSE(session_.UnsavedChanges) << "the read replaced what was typed";
    Lines expected{"AT+CPBR=001", "AT+CPBR=3001", "AT+CPBR=3003"};
    if (admin) expected.insert(expected.end(), {"AT+CPBM=1023", "AT+CPBM=1024"});
    EXPECT_EQ(Received(), expected) << admin;
  }
  EXPECT_EQ(view_.adminPhone, "600100200");
  EXPECT_EQ(view_.controllerPhone, "698765432");
  EXPECT_EQ(view_.relayIndex, 5) << "code 8 is 3.6 s";
  EXPECT_EQ(Stored(kKeyHostIp), "192168001");
  EXPECT_FALSE(link_.comm().Dtr());
}

// What the view shows goes, whatever the table holds: the relay time as it
// stands in its list (an unsaved choice too, as NIE to saving leaves it),
// the phones normalised, the host settings that exist, as they stand; the
// outcome names what went.
TEST_F(ConfigTransferTest, WritingSendsWhatTheViewShowsAndTheHostKeysThatExist) {
  struct Case {
    int relay;  // the view's choice; -1: none
    const char* hostIp;  // nullptr: no "hostip"
    const char *admin, *controller;
    Lines sent;
    const char* told;
  };
  // clang-format off
  const Case cases[] = {
      {-1, nullptr, "123456789", "698765432",
       {"AT+CPBM=1021,4,4;", "AT+CPBM=1012,698765432,698765432;", "AT+CPBW=001,\"123456789\",145,\"123456789\";"},
       "czas przekaźnika 1.2 sek, telefon sterownika 698765432, telefon administratora 123456789"},
      {6, "192.168.1.10", "600100200", "698 765-432",
       {"AT+CPBM=1021,9,9;", "AT+CPBM=1012,698765432,698765432;", "AT+CPBM=1023,192.168.1.10,192.168.1.10;",
        "AT+CPBM=1024,20,20;", "AT+CPBW=001,\"600100200\",145,\"600100200\";"},
       "czas przekaźnika 4.2 sek, telefon sterownika 698765432, adres hosta 192.168.1.10, host 20, "
       "telefon administratora 600100200"},
      {2, "brama;AT+CPBW=001", "11111", "22222",
       {"AT+CPBM=1021,5,5;", "AT+CPBM=1012,22222,22222;", "AT+CPBM=1024,20,20;", "AT+CPBW=001,\"11111\",145,\"11111\";"},
       nullptr},
  };
  // clang-format on
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp fresh(temp.path());
    RememberPortAlias(fresh.session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim_.DevicePath()));
    UpsertSetting(fresh.session, kKeyPort, "7");
    UpsertSetting(fresh.session, kKeyRelayTime, "0");  // what the view shows goes, not this
    if (c.hostIp) {
      UpsertSetting(fresh.session, kKeyHostIp, c.hostIp);
      UpsertSetting(fresh.session, kKeyHost, "20");
    }
    SettingsValues view;
    view.adminPhone = c.admin;
    view.controllerPhone = c.controller;
    view.relayIndex = c.relay;
    sim_.ClearReceived();
    Link link(fresh.session);
    Progress progress(ui_);
    const ConfigWriteResult result = WriteConfiguration(link, progress, view);
    EXPECT_EQ(Received(), c.sent) << c.relay;
    EXPECT_EQ(view.relayIndex, c.relay) << "the view keeps its choice";
    const Report report = Describe(result);
    if (c.told) {
      EXPECT_EQ(report.text, QString::fromUtf8("Zapisano konfigurację w sterowniku: ") + QString::fromUtf8(c.told));
    } else {
      // A value that could end its field is not sent, and said so: not as
      // a refusal of the controller's.
      EXPECT_EQ(report.verdict, Verdict::kFailed);
      EXPECT_EQ(report.text, QString::fromUtf8("Nie wysłano 1 wartości: brama;AT+CPBW=001"));
    }
  }
  WithController([](sim::Controller& c) { EXPECT_EQ(c.Number(1), "11111"); });
}

// A phone the save refuses is refused on every path of the write: saved
// first ("TAK"), not saved ("NIE") or with nothing unsaved to ask about.
// Nothing is sent and the port is not even opened; a number taken goes out
// normalised, and only "TAK" stores it.
TEST_F(ConfigTransferTest, APhoneTheSaveRefusesIsNeverSent) {
  struct Case {
    bool unsaved;
    bool save;  // the answer to the save question, when asked
    const char *admin, *controller;
    const char* adminSent;  // nullptr: refused, nothing sent
  };
  // clang-format off
  const Case cases[] = {
      {true, true, "1234", "698765432", nullptr},       {true, false, "1234", "698765432", nullptr},
      {false, false, "1234", "698765432", nullptr},     {false, false, "600100200", "6987654321", nullptr},
      {true, false, "600100200", "6987", nullptr},     {false, false, "", "698765432", nullptr},
      {true, false, "600 100-200", "698765432", "600100200"},
      {false, false, "600100200", "698765432", "600100200"},
  };
  // clang-format on
  for (const Case& c : cases) {
    ScriptedUi ui;
    SettingsValues view;
    view.adminPhone = QString::fromLatin1(c.admin);
    view.controllerPhone = QString::fromLatin1(c.controller);
    session_.UnsavedChanges = c.unsaved;
    if (c.unsaved) ui.Answer({c.save});
    sim_.ClearReceived();
    link_.comm().Close();
    Progress progress(ui);
    const ConfigWriteResult result = WriteConfiguration(link_, progress, view);
    const std::string label = std::string(c.admin) + " " + c.controller + (c.save ? " TAK" : " NIE");
    if (!c.adminSent) {
      EXPECT_TRUE(Received().empty()) << label;
      ASSERT_EQ(ui.dialogs.size(), c.unsaved ? 2u : 1u) << label;
      EXPECT_EQ(ui.dialogs.back().text, "Niepoprawny numer telefonu") << label;
      EXPECT_EQ(Describe(result).verdict, Verdict::kFailed) << label;
      EXPECT_FALSE(link_.comm().IsOpen()) << label << ": the port is not even opened";
    } else {
      ASSERT_FALSE(Received().empty()) << label;
      EXPECT_EQ(Received().back(), QStringLiteral("AT+CPBW=001,\"%1\",145,\"%1\";").arg(c.adminSent).toStdString())
          << label;
      EXPECT_EQ(view.adminPhone, c.adminSent) << label << ": the view shows what was sent";
    }
    EXPECT_EQ(Stored(kKeyAdminPhone), "<none>") << label << ": only TAK saves, and it refused";
  }
}

TEST_F(ConfigTransferTest, TheReminderCarriesThePickersDate) {
  const std::pair<QDate, const char*> cases[] = {{QDate(2026, 3, 5), "AT+CPBM=1004,6,2603050000;"},
                                                 {QDate(2025, 1, 31), "AT+CPBM=1004,6,2501310000;"},
                                                 {QDate(), "AT+CPBM=1004,6,9912300000;"}};
  for (const auto& [date, line] : cases) EXPECT_EQ(ReminderLine(date), line);
  const ReminderResult result = Run([&](Progress& p) { return SendReminder(link_, p, QDate(2026, 3, 5)); });
  EXPECT_EQ(Received(), Lines{"AT+CPBM=1004,6,2603050000;"});
  EXPECT_EQ(Describe(result).text, QString::fromUtf8("Zapisano w sterowniku przypomnienie o ważności karty SIM"));
  WithController([](sim::Controller& c) { EXPECT_EQ(c.Reminder(), "2603050000"); });
}

// A controller that says nothing at all gives the view nothing new, and
// the read and the fetch say so.
class SilentConfigTest : public SimSessionTest {
 protected:
  SilentConfigTest() : SimSessionTest(sim::Simulator::Options{.silent = true}) {}
};

TEST_F(SilentConfigTest, ConfigurationReadAndEventFetchSayTheControllerDidNotAnswer) {
  const std::function<Report(Progress&)> operations[] = {
      [&](Progress& p) {
        SettingsValues view;
        return Describe(ReadConfiguration(link_, p, view));
      },
      [&](Progress& p) { return Describe(FetchEvents(link_, p, "5")); },
  };
  for (const auto& operation : operations) {
    const Report report = Run(operation);
    EXPECT_EQ(report.verdict, Verdict::kFailed);
    EXPECT_EQ(report.text, QString::fromUtf8("Błąd komunikacji"));
  }
}

// A USB adapter hands the 3003 reply's entries over in one read: the read
// keeps every one of them.
class CoalescingConfigTest : public SimSessionTest {
 protected:
  CoalescingConfigTest() : SimSessionTest(sim::Simulator::Options{.coalesce = true}) {}
};

TEST_F(CoalescingConfigTest, TheConfigurationReadKeepsEveryEntryOfOneReply) {
  WithController([](sim::Controller& c) {
    c.SetSlot(1, "600100200", "");
    c.SetSlot(1002, "698765432", "");
  });
  SettingsValues view;
  view.loadedViewKey = 1;  // the view shows what the read brings
  Run([&](Progress& p) { return ReadConfiguration(link_, p, view); });
  EXPECT_EQ(view.adminPhone, "600100200");
  EXPECT_EQ(view.controllerPhone, "698765432") << "the second entry of the 3003 answer";
  EXPECT_TRUE(ui_.dialogs.empty());
}

}  // namespace
