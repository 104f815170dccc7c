#pragma once

#include <QDate>
#include <QList>
#include <QObject>
#include <QPoint>
#include <functional>

#include "core/settings.h"
#include "serial/port_names.h"

class ClickLabel;
class DropDown;
class PickerPanel;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QPlainTextEdit;
class QToolButton;
class Session;
class UserInterface;
class ViewPanel;

// The "KONFIGURACJA" view: the port with its picker, the two phones, the
// relay time, "ZAPISZ ZMIANY" with its "*" marker, the SIM date and the
// device log. It is the settings view every settings command reads and
// fills.
class SettingsView : public QObject, public SettingsFields {
  Q_OBJECT
 public:
  // Builds the view into the window's two panels; the port picker floats
  // over `window`. `showView` brings the user to this view.
  SettingsView(ViewPanel* left, ViewPanel* right, QWidget* window, Session& session, UserInterface& ui,
               std::function<void()> showView, QObject* parent = nullptr);

  // The activation step's part: the port list COM1..COM20 with none chosen.
  void Activate();

  void LoadSettingsView(int viewKey);
  // True when the view passed its checks and was written.
  bool SaveSettingsView();
  void zap_konfigClick();
  void listcomCloseUp();
  void butfindportClick();
  void ListBox1Click(QListWidgetItem* item);
  void zapisz_doplikuClick();
  // One line of the device log pane.
  void AppendLog(const QString& line);
  PickerPanel* portPicker() const { return panel_com_; }
  // Puts news on the window's outcome line.
  std::function<void(const QString&)> tell;

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
  void ShowSaved() override;

 private:
  void MarkSettingsChanged();
  void zap_konfigMouseDown();
  void zap_konfigMouseUp();

  QWidget* window_;
  Session& session_;
  UserInterface& ui_;
  std::function<void()> showView_;

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
  // Raised while the table fills the date: that is no change of the user's.
  QDate dateShown_;
  QPlainTextEdit* Log_ = nullptr;
  PickerPanel* panel_com_ = nullptr;
  QList<PortEntry> portEntries_;
};
