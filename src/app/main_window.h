#pragma once

#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/result.h"
#include "core/session.h"
#include "core/sites.h"
#include "core/user_interface.h"

class ClickLabel;
class Link;
class MenuPanel;
class PhoneListModel;
class PhoneListView;
class PickerPanel;
class ProgressPanel;
class QLabel;
class QListWidgetItem;
class QMenu;
struct SiteDraft;
class ReportView;
class SettingsView;
class ViewPanel;

// The main window: the tabs, the two pop-up menus, the progress panel and
// the user-interface seam every command talks to. Each view (phone list,
// configuration, report) is an object of its own built into the window's
// panels; the window owns them, the run's serial link and the menus'
// commands.
class TForm1 : public QWidget, public UserInterface, public CloseActions {
  Q_OBJECT
 public:
  explicit TForm1(Session& session, QWidget* parent = nullptr);
  ~TForm1() override;

  Session& session() { return session_; }
  // The window's connection to the controller.
  Link& link() { return *link_; }

  static constexpr int kClientWidth = 1072;
  static constexpr int kClientHeight = 637;

  // View and menu operations.
  void Image11Click();
  void Image13Click();
  void Image15Click();
  void Image16Click();
  void Image25Click();
  void zap_menu_konfigClick();

  // List menu commands.
  void usun_z_listyClick();
  void export_listClick();
  void imp_listClick();

  // Settings view and access lock.
  void LoadSettingsView(int viewKey);
  void Label46Click();

  // Controller commands.
  void zap_do_sterownikaClick();
  void usun_ze_sterownikaClick();
  void odczytaj_z_sterownika_comClick();
  void weryfikuj_przez_comClick();
  void formatuj_memClick();
  void odczyt_konfig_comClick();
  void zapis_konfig_comClick();
  void zapis_do_ser_przypomClick();
  // "KOPIA ZAPASOWA STEROWNIKA", "PRZYWRÓĆ Z KOPII", "SYNCHRONIZUJ LISTĘ":
  // the command line's backup, restore and sync, the sync asking first
  // with its counts.
  void kopia_sterownikaClick();
  void przywroc_z_kopiiClick();
  void synchronizuj_listeClick();

  // Runs a long command (one that talks to the controller or shows the
  // progress panel) as RunCommand does, with a progress of its own, unless
  // one is running already: then the user is told "Trwa przetwarzanie
  // danych" and nothing starts. A close asked for while it runs stops it as
  // "ANULUJ" does and follows once it has ended.
  void RunOperation(const std::function<void(Progress&)>& command);
  // Tells what a command did: its words on the outcome line, or in a notice
  // when something was not done.
  void Tell(const Report& report);

  // The workspace this window is one site of: where the sites are listed
  // from, and who opens another site in the window's place. Without one the
  // window's directory is the only site, and the picker cannot switch.
  void SetWorkspace(const Site& site, const QString& mainDirectory, std::function<void(const Site&)> openSite);
  const Site& site() const { return site_; }
  // The site picker ("OBIEKT" beside the tabs) and what its menu offers.
  // The menu is built each time it opens, from the sites there are then.
  QMenu* BuildSiteMenu();
  void SwitchSiteClick(const QString& name);
  void AddSiteClick();
  void RenameSiteClick(const QString& name);
  void RemoveSiteClick(const QString& name);
  void FleetClick();
  // The add and rename dialogs unless replaced (tests); nothing when the
  // user leaves.
  std::function<std::optional<SiteDraft>()> askNewSite;
  std::function<std::optional<QString>(const QString& name)> askSiteName;

  // The port picker of the configuration view.
  void butfindportClick();
  void ListBox1Click(QListWidgetItem* item);
  PickerPanel* portPicker() const;

  // Asks for the PIN at start; the PIN dialog unless replaced (tests).
  // nullopt: the dialog was closed with nothing typed.
  std::function<std::optional<QString>()> askPin;
  // Asks for the new PIN of "HASŁO DOSTĘPU", typed twice; nothing when the
  // user leaves. The PIN change dialog unless replaced (tests).
  std::function<std::optional<QString>()> askNewPin;

  // Picks the list file for an import (save false) or an export (save true);
  // empty when the user cancels. The file dialogs unless replaced (tests).
  std::function<QString(bool save)> chooseListFile;
  // Picks where a backup goes (save true) or an existing backup to restore;
  // empty when the user cancels. The file dialogs unless replaced (tests).
  std::function<QString(bool save)> chooseBackupFile;

  // False when the database could not be opened; the window then closes.
  bool DatabaseReady() const { return session_.DatabaseOpen(); }

  // The activation step; runs once, on the first activation after showing.
  void FormActivate();
  // Makes the window fit `available` (a screen's free area), the client
  // area scrolling inside it where it does not fit; nothing where it does.
  void FitInto(const QRect& available);

  // UserInterface
  bool Ask(Question question, const QString& text) override;
  Choice AskOrCancel(Question question, const QString& text) override;
  void ShowNotice(const QString& text) override;
  void ShowError(const QString& text) override;
  // Outcomes go to the line under the views: news the user reads when it
  // suits, not a box to dismiss after every command.
  void ShowOutcome(const QString& text);
  void ShowProgress() override;
  void UpdateProgress(int current, int total) override;
  void HideProgress() override;
  void ProcessEvents() override;
  void SuspendViewUpdates(bool suspended) override;

  // CloseActions
  bool SaveSettingsView() override;
  bool PostPendingPhone() override;

  ProgressPanel* progressPanel() const { return czekaj_na_zapis_; }
  // The outcome line: the last command's outcome, empty while one runs.
  QLabel* outcomeLine() const { return outcome_; }
  PhoneListModel* listModel() const;
  PhoneListView* listView() const { return listView_; }

 signals:
  // The window closed (its close step agreed).
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  enum class View { kPhoneList, kConfiguration, kReport, kCompany };

  void FormCreate();
  void BuildTabs();
  void BuildPanels(View view, const char* leftName, const QString& leftHeading, const char* leftHeadingName,
                   const char* rightName, const QString& rightHeading, const char* rightHeadingName);
  void BuildCompanyView();
  void BuildMenus();
  void BuildSitePicker();
  void ShowSite();  // the title and the picker name the site
  // What a verify, a sync or a backup could not leave in the site's facts.
  void TellUnrecorded(const QString& problem);
  void ShowView(View view);
  std::optional<QString> AskForPin();
  QString ChooseListFile(bool save);
  QString ChooseBackupFile(bool save);
  // A command over the marked numbers: the marks go once it has run past
  // its checks, whatever became of each number.
  void RunOnMarked(const std::function<Report(Progress&, const QStringList&)>& command);

  Session& session_;
  Site site_;
  QString mainDirectory_;
  std::function<void(const Site&)> openSite_;
  ClickLabel* sitePicker_ = nullptr;
  std::unique_ptr<Link> link_;
  EventPacer eventPacer_;
  bool activated_ = false;
  bool centred_ = false;
  // The long command on the call stack (its waits run the window's events);
  // "ANULUJ" and a close cancel it.
  Progress* operation_ = nullptr;
  // The window was closed while it ran: it is being cancelled, nobody is
  // asked anything more, and the window closes when it has ended.
  bool closePending_ = false;

  QLabel* background_ = nullptr;
  ClickLabel* tabPictures_[4] = {};
  ClickLabel* tabCaptions_[4] = {};
  QLabel* activeSources_[3] = {};
  QLabel* inactiveSources_[3] = {};
  ClickLabel* Image25_ = nullptr;
  ClickLabel* zap_menu_konfig_ = nullptr;

  ViewPanel* viewPanels_[8] = {};
  MenuPanel* MenuLista_ = nullptr;
  MenuPanel* menukonfig_ = nullptr;
  ProgressPanel* czekaj_na_zapis_ = nullptr;
  QLabel* outcome_ = nullptr;
  QWidget* pinCover_ = nullptr;
  int suspensions_ = 0;
  class QScrollArea* scroll_ = nullptr;
  std::vector<QLabel*> stills_;  // pictures of the grids while their updates are held back
  QHash<QString, ClickLabel*> menuEntries_;

  PhoneListView* listView_ = nullptr;
  SettingsView* settingsView_ = nullptr;
  ReportView* reportView_ = nullptr;
};
