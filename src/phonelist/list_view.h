#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "core/session.h"
#include "phonelist/list_commands.h"
#include "phonelist/marks.h"

// What a search that found nothing says.
inline constexpr const char* kNoMatchMessage = "Nie znaleziono telefonu pasującego do wyszukiwania";

class ClickLabel;
class PhoneListModel;
class QEvent;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTableView;
class ShapeWidget;
class UserInterface;
class ViewPanel;

// The "LISTA TELEFONÓW" view: the three data-bound boxes and the search boxes
// at the left, the action button, the column titles with the select-all
// square and the phone grid at the right. It shows the list cursor's state
// and calls the list commands; the commands themselves hold no widget. It
// keeps the marks: which numbers the user has chosen for a command.
class PhoneListView : public QObject {
  Q_OBJECT
 public:
  // Builds the view's controls into the window's two panels. `showView`
  // brings the user to this view (a refused phone sends them back to it);
  // `tell` puts news on the window's outcome line.
  PhoneListView(ViewPanel* left, ViewPanel* right, Session& session, UserInterface& ui, std::function<void()> showView,
                std::function<void(const QString&)> tell, QObject* parent = nullptr);
  ~PhoneListView() override;

  // Puts the list behind the grid and the boxes once the database is open.
  void ConnectPhoneList();
  // The activation step's part: search boxes over the data boxes, emptied,
  // and manage mode.
  void Activate();

  void but_zarzadzajClick();
  void but_szukajClick();
  void Label23Click();
  void Label25Click();
  void Label26Click();
  void Label27Click();
  void RxDBGrid1CellClick(const QModelIndex& index);
  void Shape9MouseDown();
  void DataSource1StateChange(ListState state);

  QTableView* grid() const { return RxDBGrid1_; }
  // The triangle at the right of the sorted column's title; hidden in the
  // natural order.
  QLabel* sortMark() const { return sortMark_; }
  PhoneListModel* model() const { return listModel_; }

  // The marked numbers, in the order they were marked.
  QStringList MarkedNumbers() const;
  // Every row is marked: a write is one of the whole list.
  bool AllMarked() const;
  // Drops every mark, as a command over them does when it has run.
  void ClearMarks();
  // A row being typed is saved by the rule before anything else happens to
  // the list (a click elsewhere, a command, closing); false when the rule
  // refused it, told, with the row kept in the boxes as typed.
  bool SettlePending();
  // Ctrl+N: the row being typed settled, a new one begun.
  void NewRow();
  Marks& marks() { return marks_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowListMode(bool search);
  void ListChanged();
  void DataEditTyped(int box, const QString& text);
  void DataEditReturn(int box);
  // Where a refused phone sends the user: this view, the phone box.
  void ShowPhoneBox();
  // A number already listed: told, and the user taken to the phone box.
  void ShowDuplicate(const QString& message);
  // The sort triangle and the select-all square as the list stands.
  void ShowListState();
  // What follows a save or a refusal, for the boxes and the focus.
  void Saved(ManageResult result, const QString& refusal);
  void Sort(const char* index);

  Session& session_;
  UserInterface& ui_;
  std::function<void()> showView_;
  std::function<void(const QString&)> tell_;
  Marks marks_;

  QLabel* but_zarzadzaj_ = nullptr;
  QLabel* but_szukaj_ = nullptr;
  QLineEdit* dataEdits_[3] = {};
  QLineEdit* searchEdits_[3] = {};
  ClickLabel* Image22_ = nullptr;
  ClickLabel* but_add_poust_find_ = nullptr;
  ClickLabel* Label23_ = nullptr;
  ClickLabel* columnTitles_[3] = {};
  ShapeWidget* Shape9_ = nullptr;
  QLabel* sortMark_ = nullptr;
  QTableView* RxDBGrid1_ = nullptr;
  PhoneListModel* listModel_ = nullptr;
  bool searchMode_ = false;
  // The rows and marks the select-all square was last worked out for.
  int checkedRows_ = -1;
  int checkedMarks_ = -1;
  bool syncingGrid_ = false;
  int typingBox_ = -1;
  // The boxes stand empty after a save: typing in them begins a new row.
  bool newRowMode_ = false;
  // The list's state the boxes were last filled for.
  ListState shownState_ = ListState::kClosed;
  // What Esc puts back into each data-bound box: its value when the row was
  // shown or the box was last left.
  QString shownValues_[3];
};
