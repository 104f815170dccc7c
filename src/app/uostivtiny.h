#pragma once

#include <QHash>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "serial/port_names.h"

class ClickLabel;
class Link;
class DropDown;
class MenuPanel;
class PhoneListModel;
class ReportModel;
class PickerPanel;
class QListWidgetItem;
class QModelIndex;
class ProgressPanel;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QToolButton;
class ShapeWidget;
class ViewPanel;

// The main window: the four views, the two pop-up menus, the progress panel
// and the window-wide state. It is the user interface every command talks to.
class TForm1 : public QWidget, public UserInterface, public CloseActions, public SettingsFields {
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

  // Phone list modes.
  void but_zarzadzajClick();
  void but_szukajClick();

  // Phone list commands.
  void Label23Click();
  void Label25Click();
  void Label26Click();
  void Label27Click();
  void RxDBGrid1CellClick(const QModelIndex& index);
  void Shape9MouseDown();
  void usun_z_listyClick();
  void export_listClick();
  void imp_listClick();
  void DataSource1StateChange(ListState state);

  // Settings view and access lock.
  void LoadSettingsView(int viewKey);
  void zap_konfigClick();
  void listcomCloseUp();
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
  void pobierz_wpisyClick();

  // Serial link: the port picker and the device log.
  void butfindportClick();
  void ListBox1Click(QListWidgetItem* item);
  void zapisz_doplikuClick();
  PickerPanel* portPicker() const { return panel_com_; }

  // Asks for the PIN at start and for "HASŁO DOSTĘPU"; the PIN dialog unless
  // replaced (tests).
  std::function<QString()> askPin;

  // Picks the list file for an import (save false) or an export (save true);
  // empty when the user cancels. The file dialogs unless replaced (tests).
  std::function<QString(bool save)> chooseListFile;

  // False when the database could not be opened; the window then closes.
  bool DatabaseReady() const { return session_.DatabaseOpen(); }

  // The activation step; runs once, on the first activation after showing.
  void FormActivate();

  // UserInterface
  int ShowDialog(const QString& text, int kind) override;
  void ShowError(const QString& text) override;
  void ShowProgress() override;
  void UpdateProgress(int current, int total) override;
  void HideProgress() override;
  void ProcessEvents() override;
  void SuspendViewUpdates(bool suspended) override;

  // CloseActions
  bool SaveSettingsView() override;
  void PostPendingPhone() override;

  // SettingsFields
  QString Phone(Field field) const override;
  void SetPhone(Field field, const QString& text) override;
  int PortIndex() const override;
  void SetPortIndex(int index) override;
  int RelayIndex() const override;
  void SetRelayIndex(int index) override;
  QString DateText() const override;
  void SetDateText(const QString& text) override;
  QDate Date() const override;
  void ShowField(Field field) override;

  ProgressPanel* progressPanel() const { return czekaj_na_zapis_; }
  PhoneListModel* listModel() const { return listModel_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  enum class View { kPhoneList, kConfiguration, kReport, kCompany };

  void FormCreate();
  void BuildTabs();
  void BuildPhoneListView();
  void BuildConfigurationView();
  void BuildReportView();
  void BuildCompanyView();
  void BuildMenus();
  void ShowView(View view);
  void ShowListMode(bool search);
  void MarkSettingsChanged();
  QString AskForPin();
  void zap_konfigMouseDown();
  void zap_konfigMouseUp();
  void ConnectPhoneList();
  void ConnectReportGrid();
  void ListChanged();
  void DataEditTyped(int box, const QString& text);
  void DataEditReturn(int box);
  QString ChooseListFile(bool save);
  bool eventFilter(QObject* watched, QEvent* event) override;

  Session& session_;
  std::unique_ptr<Link> link_;
  EventPacer eventPacer_;
  bool activated_ = false;
  bool centred_ = false;

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

  // Phone list view.
  QLabel* but_zarzadzaj_ = nullptr;
  QLabel* but_szukaj_ = nullptr;
  QLineEdit* dataEdits_[3] = {};
  QLineEdit* searchEdits_[3] = {};
  ClickLabel* Image22_ = nullptr;
  ClickLabel* but_add_poust_find_ = nullptr;
  ClickLabel* Label23_ = nullptr;
  ClickLabel* columnTitles_[3] = {};
  ShapeWidget* Shape9_ = nullptr;
  QTableView* RxDBGrid1_ = nullptr;
  PhoneListModel* listModel_ = nullptr;
  bool searchMode_ = false;
  bool syncingGrid_ = false;
  int typingBox_ = -1;
  // What Esc puts back into each data-bound box: its value when the row was
  // shown or the box was last left.
  QString shownValues_[3];
  QHash<QString, ClickLabel*> menuEntries_;

  // Configuration view.
  DropDown* listcom_ = nullptr;
  QToolButton* butfindport_ = nullptr;
  QLineEdit* teladmin_ = nullptr;
  QLineEdit* telster_ = nullptr;
  DropDown* listczas_ = nullptr;
  ClickLabel* zap_konfig_ = nullptr;
  ClickLabel* Image30_ = nullptr;
  QLabel* zap_konf_ = nullptr;
  QPoint zapKonfigRest_;
  QDateEdit* DateEdit1_ = nullptr;
  QPlainTextEdit* Log_ = nullptr;
  PickerPanel* panel_com_ = nullptr;
  QList<PortEntry> portEntries_;

  // Report view.
  QLineEdit* edilpob_ = nullptr;
  QTableView* RxDBGrid2_ = nullptr;
  ReportModel* reportModel_ = nullptr;
};
