#include "phonelist/list_view.h"

#include <QKeyEvent>
#include <QShortcut>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "common/windows1250.h"
#include "core/user_interface.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_grid.h"
#include "phonelist/list_model.h"
#include "store/cursor.h"
#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "widgets/view_parts.h"

PhoneListView::PhoneListView(ViewPanel* left, ViewPanel* right, Session& session, UserInterface& ui,
                             std::function<void()> showView, std::function<void(const QString&)> tell, QObject* parent)
    : QObject(parent), session_(session), ui_(ui), showView_(std::move(showView)), tell_(std::move(tell)) {
  but_zarzadzaj_ = new ClickLabel(left);
  but_zarzadzaj_->setObjectName(QStringLiteral("but_zarzadzaj"));
  but_zarzadzaj_->setText(QString::fromUtf8("Zarządzaj"));
  but_zarzadzaj_->setGeometry(12, 52, 89, 32);
  but_szukaj_ = new ClickLabel(left);
  but_szukaj_->setObjectName(QStringLiteral("but_szukaj"));
  but_szukaj_->setText(QStringLiteral("Szukaj"));
  but_szukaj_->setGeometry(101, 52, 89, 32);
  for (QLabel* mode : {but_zarzadzaj_, but_szukaj_}) {
    mode->setFont(pictures::Font(12, true));
    mode->setAlignment(Qt::AlignCenter);
    mode->setCursor(Qt::PointingHandCursor);
  }
  connect(static_cast<ClickLabel*>(but_zarzadzaj_), &ClickLabel::clicked, this, &PhoneListView::but_zarzadzajClick);
  connect(static_cast<ClickLabel*>(but_szukaj_), &ClickLabel::clicked, this, &PhoneListView::but_szukajClick);

  Caption(left, "Label6", QString::fromUtf8("Imię"), QRect(12, 98, 178, 18));
  Caption(left, "Label7", QStringLiteral("Nazwisko"), QRect(12, 154, 178, 18));
  CountryCode(left, "Label8", QRect(12, 214, 42, 30));
  const QRect editRects[3] = {QRect(12, 116, 178, 30), QRect(12, 172, 178, 30), QRect(58, 214, 132, 30)};
  // The phone box has no limit of its own: one would cut a number typed or
  // pasted with blanks and dashes, and the `Tel` field's width is checked on
  // the number once they are gone.
  const int maxLengths[3] = {40, 40, 0};
  for (int i = 0; i < 3; ++i) {
    dataEdits_[i] = Edit(left, QStringLiteral("DBEdit%1").arg(i + 1), editRects[i], maxLengths[i]);
    searchEdits_[i] = Edit(left, QStringLiteral("DBEdit%1_").arg(i + 1), editRects[i], 0);
    searchEdits_[i]->setPlaceholderText(QString::fromUtf8("początek tekstu…"));
    searchEdits_[i]->hide();
  }

  const PictureButton action =
      MakePictureButton(left, "Image22", "but_add_poust_find", "DODAJ TELEFON", QRect(12, 270, 178, 38),
                        pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary), Qt::white, 9);
  Image22_ = action.picture;
  but_add_poust_find_ = action.caption;
  // Reached by Tab after the phone box and pressed with Enter or Space, or
  // from anywhere with Ctrl+N: a list is typed in without the mouse.
  but_add_poust_find_->setFocusPolicy(Qt::StrongFocus);
  but_add_poust_find_->installEventFilter(this);
  for (QWidget* part : {static_cast<QWidget*>(Image22_), static_cast<QWidget*>(but_add_poust_find_)}) {
    part->setToolTip(QString::fromUtf8("Dodaj telefon (Ctrl+N)"));
  }
  auto* newRow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), left->window());
  newRow->setObjectName(QStringLiteral("NewRowShortcut"));
  connect(newRow, &QShortcut::activated, this, [this] {
    if (dataEdits_[0]->isVisible() || searchEdits_[0]->isVisible()) NewRow();
  });
  but_add_poust_find_->setGeometry(40, 279, 150, 20);
  but_add_poust_find_->setStyleSheet(QStringLiteral("QLabel:focus { text-decoration: underline; }"));
  but_add_poust_find_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Label23_ = new ClickLabel(left);
  Label23_->setObjectName(QStringLiteral("Label23"));
  Label23_->setText(QStringLiteral("+"));
  Label23_->setFont(pictures::Font(20, true));
  Label23_->setAlignment(Qt::AlignCenter);
  Label23_->setStyleSheet(QStringLiteral("color: rgb(250,192,23); background: transparent;"));
  Label23_->setGeometry(16, 275, 22, 28);

  // The header row of the grid: the select-all square and the column titles.
  TitleBar(right, QRect(12, 52, 753, 30));
  Shape9_ = new ShapeWidget(ShapeWidget::Kind::kRectangle, Qt::white, right);
  Shape9_->setObjectName(QStringLiteral("Shape9"));
  Shape9_->setGeometry(12 + 13, 52 + 9, 12, 12);
  Shape9_->setCursor(Qt::PointingHandCursor);
  columnTitles_[0] = ColumnTitle(right, "Label25", QString::fromUtf8("Imię"), QRect(12 + 40, 52, 250, 30));
  columnTitles_[1] = ColumnTitle(right, "Label26", QStringLiteral("Nazwisko"), QRect(12 + 291, 52, 300, 30));
  columnTitles_[2] = ColumnTitle(right, "Label27", QStringLiteral("Telefon"), QRect(12 + 592, 52, 160, 30));
  RxDBGrid1_ =
      Grid(right, "RxDBGrid1", QRect(12, 82, 753, 360), {39, 250, 300, 160}, {"check", "IMIE", "NAZWISKO", "TEL"});

  // No name: the language file leaves it alone (it is a picture).
  sortMark_ = new QLabel(right);
  sortMark_->setPixmap(pictures::SortTriangle(QSize(12, 30)));
  sortMark_->resize(12, 30);
  sortMark_->setAttribute(Qt::WA_TransparentForMouseEvents);
  sortMark_->hide();

  // What the colours of the numbers mean, under the grid.
  auto* unconfirmed =
      Caption(right, "LabelLegend1", QString::fromUtf8("Czerwony numer: niepotwierdzony przez sterownik"),
              QRect(12, 448, 390, 20), 12, false);
  unconfirmed->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(kUnconfirmedColour.name()));
  auto* confirmed = Caption(right, "LabelLegend2", QString::fromUtf8("Niebieski: potwierdzony zapisem, odczytem lub weryfikacją"),
                            QRect(404, 448, 361, 20), 12, false);
  confirmed->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(kPhoneTextColour.name()));
}

void PhoneListView::ShowListState() {
  const std::string& order = session_.Dbf1().OrderName();
  const char* const indexes[3] = {kImieIndex, kNazwiskoIndex, kTelIndex};
  sortMark_->hide();
  for (int i = 0; i < 3; ++i) {
    if (order != indexes[i]) continue;
    const QRect title = columnTitles_[i]->geometry();
    sortMark_->move(title.right() - sortMark_->width() - 8, title.top());
    sortMark_->show();
    sortMark_->raise();
  }
  // The marks may name a number twice or one no row has, so the rows are
  // counted; only when the marks or the rows changed, not at every move.
  store::Cursor& list = session_.Dbf1();
  const int rows = list.RowCount();
  const int marks = marks_.Count();
  if (rows == checkedRows_ && marks == checkedMarks_) return;
  checkedRows_ = rows;
  checkedMarks_ = marks;
  int marked = 0;
  for (int position = 1; marks > 0 && position <= rows; ++position) {
    marked += marks_.Contains(list.TextAt(position, "Tel")) ? 1 : 0;
  }
  Shape9_->SetCheck(rows > 0 && marked == rows ? ShapeWidget::Check::kAll
                    : marked > 0               ? ShapeWidget::Check::kSome
                                               : ShapeWidget::Check::kNone);
}

void PhoneListView::ShowListMode(bool search) {
  const QString current = QStringLiteral(
      "color: rgb(1,81,178); background: rgb(244,248,251); border: 1px solid rgb(214,221,232);"
      " border-bottom: 3px solid rgb(250,192,23);");
  const QString other =
      QStringLiteral("color: rgb(120,134,156); background: rgb(239,242,247); border: 1px solid rgb(214,221,232);");
  but_zarzadzaj_->setStyleSheet(search ? other : current);
  but_szukaj_->setStyleSheet(search ? current : other);
  for (int i = 0; i < 3; ++i) {
    dataEdits_[i]->setVisible(!search);
    searchEdits_[i]->setVisible(search);
  }
  searchMode_ = search;
  but_add_poust_find_->setText(search ? QStringLiteral("SZUKAJ TELEFON") : QStringLiteral("DODAJ TELEFON"));
  Label23_->setText(search ? QStringLiteral("?") : QStringLiteral("+"));
}

void PhoneListView::but_zarzadzajClick() { ShowListMode(false); }

void PhoneListView::but_szukajClick() { ShowListMode(true); }

void PhoneListView::ConnectPhoneList() {
  marks_.SetCollation(&session_.collation());
  listModel_ = new PhoneListModel(session_, marks_, this);
  ReplaceGridModel(RxDBGrid1_, listModel_);
  RxDBGrid1_->setItemDelegate(new PhoneGridDelegate(RxDBGrid1_));
  RxDBGrid1_->setSelectionMode(QAbstractItemView::NoSelection);
  const int widths[4] = {39, 250, 300, 160};
  for (int i = 0; i < 4; ++i) RxDBGrid1_->setColumnWidth(i, widths[i]);

  // Moving in the grid moves the list; a click in the mark column marks.
  connect(RxDBGrid1_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (syncingGrid_ || !current.isValid() || listModel_->IsPendingRow(current.row())) return;
            if (current.row() == listModel_->CurrentRow()) return;
            // Leaving a row being typed saves it by the rule, or stays on it.
            if (!SettlePending()) {
              ListChanged();
              return;
            }
            RunCommand(ui_, [&] { RequireOk(session_.Dbf1().MoveTo(current.row() + 1)); });
            newRowMode_ = false;
            ListChanged();
          });
  connect(RxDBGrid1_, &QTableView::clicked, this, &PhoneListView::RxDBGrid1CellClick);

  session_.Dbf1().onDataChange = [this] { ListChanged(); };
  session_.DataSource1StateChange = [this](ListState state) { DataSource1StateChange(state); };

  for (ClickLabel* part : {Image22_, but_add_poust_find_, Label23_}) {
    connect(part, &ClickLabel::clicked, this, &PhoneListView::Label23Click);
  }
  connect(columnTitles_[0], &ClickLabel::clicked, this, &PhoneListView::Label25Click);
  connect(columnTitles_[1], &ClickLabel::clicked, this, &PhoneListView::Label26Click);
  connect(columnTitles_[2], &ClickLabel::clicked, this, &PhoneListView::Label27Click);
  connect(Shape9_, &ShapeWidget::pressed, this, &PhoneListView::Shape9MouseDown);

  for (int i = 0; i < 3; ++i) {
    connect(dataEdits_[i], &QLineEdit::textEdited, this, [this, i](const QString& text) { DataEditTyped(i, text); });
    connect(dataEdits_[i], &QLineEdit::returnPressed, this, [this, i] { DataEditReturn(i); });
    dataEdits_[i]->installEventFilter(this);
    connect(searchEdits_[i], &QLineEdit::returnPressed, this, &PhoneListView::Label23Click);
  }
  ListChanged();
}

namespace {
const char* const kBoxFields[3] = {"Imie", "Nazwisko", "Tel"};
}  // namespace

void PhoneListView::ListChanged() {
  if (!listModel_) return;
  syncingGrid_ = true;
  listModel_->Changed();
  const int row = listModel_->CurrentRow();
  if (row >= 0) {
    const QModelIndex current = listModel_->index(row, qMax(0, RxDBGrid1_->currentIndex().column()));
    RxDBGrid1_->setCurrentIndex(current);
    RxDBGrid1_->scrollTo(current);
  }
  syncingGrid_ = false;
  ShowListState();
  // After a save the boxes wait empty for the next person. While a row is
  // being typed the boxes hold what the user typed, which a refused save
  // must not take from them: they follow the row only when its state moves.
  const ListState state = session_.listState();
  const bool blank = state == ListState::kClosed || (newRowMode_ && state == ListState::kBrowse);
  const bool pending = state == ListState::kInsert || state == ListState::kEdit;
  const bool keepTyping = pending && state == shownState_;
  shownState_ = state;
  for (int i = 0; i < 3; ++i) {
    if (i == typingBox_ || keepTyping) continue;
    const QString text = blank ? QString() : ListFieldText(session_, kBoxFields[i]);
    shownValues_[i] = text;
    if (dataEdits_[i]->text() != text) dataEdits_[i]->setText(text);
  }
}

void PhoneListView::DataEditTyped(int box, const QString& text) {
  typingBox_ = box;
  RunCommand(ui_, [&] {
    // Typing after a save is the next person: a new row, never the saved one.
    if (newRowMode_ && session_.listState() == ListState::kBrowse) {
      RequireOk(session_.Dbf1().Append());
      for (int i = 0; i < 3; ++i) {
        if (i != box && !dataEdits_[i]->text().isEmpty()) WriteListField(session_, kBoxFields[i], dataEdits_[i]->text());
      }
    }
    newRowMode_ = false;
    WriteListField(session_, kBoxFields[box], text);
  });
  typingBox_ = -1;
  listModel_->Changed();
}

void PhoneListView::DataEditReturn(int box) {
  if (box < 2) {
    dataEdits_[box + 1]->setFocus();
    return;
  }
  // Enter in the last box saves, with no length floor; a malformed number
  // or one already listed leaves the row pending with the focus in the
  // phone box.
  if (session_.listState() == ListState::kBrowse) return;
  ManageResult result = ManageResult::kRefused;
  QString refusal;
  RunCommand(ui_, [&] {
    result = SaveRow(
        session_, ui_, dataEdits_[2]->text(), 0, [this] { ShowPhoneBox(); }, &refusal);
  });
  Saved(result, refusal);
}

void PhoneListView::Saved(ManageResult result, const QString& refusal) {
  switch (result) {
    case ManageResult::kSaved:
      // The boxes are for the next person now: what is typed next is a row
      // of its own, never a change of the one just saved.
      newRowMode_ = true;
      ListChanged();
      dataEdits_[0]->setFocus();
      return;
    case ManageResult::kDuplicate: ShowDuplicate(refusal); return;
    case ManageResult::kDeclined: ShowPhoneBox(); return;
    case ManageResult::kStarted: dataEdits_[0]->setFocus(); return;
    case ManageResult::kRefused: return;  // told, and taken to its box
  }
}

bool PhoneListView::SettlePending() {
  const ListState state = session_.listState();
  if (state != ListState::kInsert && state != ListState::kEdit) return true;
  bool settled = false;
  RunCommand(ui_, [&] {
    const bool empty = std::all_of(std::begin(dataEdits_), std::end(dataEdits_),
                                   [](const QLineEdit* edit) { return edit->text().trimmed().isEmpty(); });
    if (state == ListState::kInsert && empty) {
      // A row begun and left untouched is no row.
      session_.Dbf1().Cancel();
      settled = true;
      return;
    }
    QString refusal;
    const ManageResult result = SaveRow(
        session_, ui_, dataEdits_[2]->text(), kMinPhoneLength, [this] { ShowPhoneBox(); }, &refusal);
    if (result == ManageResult::kDuplicate) ShowDuplicate(refusal);
    if (result == ManageResult::kDeclined) ShowPhoneBox();
    settled = result == ManageResult::kSaved;
  });
  return settled;
}

void PhoneListView::NewRow() {
  ShowListMode(false);
  if (!SettlePending()) return;
  newRowMode_ = false;
  if (session_.listState() == ListState::kBrowse) Label23Click();
  dataEdits_[0]->setFocus();
}

bool PhoneListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == but_add_poust_find_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      Label23Click();
      return true;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (watched != dataEdits_[i]) continue;
    if (event->type() == QEvent::FocusOut) {
      shownValues_[i] = dataEdits_[i]->text();
    } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      dataEdits_[i]->setText(shownValues_[i]);
      if (session_.listState() == ListState::kInsert || session_.listState() == ListState::kEdit) {
        RunCommand(ui_, [&] { WriteListField(session_, kBoxFields[i], shownValues_[i]); });
        listModel_->Changed();
      }
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

void PhoneListView::DataSource1StateChange(ListState state) {
  const bool browse = state == ListState::kBrowse;
  but_add_poust_find_->setText(browse ? QStringLiteral("DODAJ TELEFON") : QStringLiteral("ZAPISZ TELEFON"));
  Label23_->setText(browse ? QStringLiteral("+") : QStringLiteral("*"));
  if (!session_.Dbf1().ControlsDisabled()) ListChanged();
}

void PhoneListView::Label23Click() {
  if (searchMode_) {
    if (!SettlePending()) return;
    RunCommand(ui_, [this] {
      if (SearchList(session_, searchEdits_[0]->text(), searchEdits_[1]->text(), searchEdits_[2]->text())) {
        newRowMode_ = false;
      } else if (tell_) {
        tell_(QString::fromUtf8(kNoMatchMessage));
      }
    });
    ListChanged();
    return;
  }
  ManageResult result = ManageResult::kRefused;
  QString refusal;
  RunCommand(ui_, [&] {
    result = ManageAction(
        session_, ui_, dataEdits_[2]->text(), [this] { ShowPhoneBox(); }, &refusal);
  });
  if (result == ManageResult::kStarted) newRowMode_ = false;
  Saved(result, refusal);
}

void PhoneListView::ShowPhoneBox() {
  showView_();
  dataEdits_[2]->setFocus();
}

void PhoneListView::ShowDuplicate(const QString& message) {
  ui_.ShowNotice(message);
  ShowPhoneBox();
}

void PhoneListView::Label25Click() { Sort(kImieIndex); }

void PhoneListView::Label26Click() { Sort(kNazwiskoIndex); }

void PhoneListView::Label27Click() { Sort(kTelIndex); }

void PhoneListView::Sort(const char* index) {
  if (!SettlePending()) return;
  RunCommand(ui_, [&] { SortList(session_, index); });
}

void PhoneListView::RxDBGrid1CellClick(const QModelIndex& index) {
  // A row clicked is a row chosen: the boxes show it, also the current one.
  if (newRowMode_ && session_.listState() == ListState::kBrowse) {
    newRowMode_ = false;
    ListChanged();
  }
  if (!index.isValid() || index.column() != PhoneListModel::kCheckColumn) return;
  if (!SettlePending()) return;
  RunCommand(ui_, [this] { ToggleMark(session_, marks_); });
}

void PhoneListView::Shape9MouseDown() {
  if (!SettlePending()) return;
  RunCommand(ui_, [this] { MarkAll(session_, marks_, ui_); });
}

QStringList PhoneListView::MarkedNumbers() const {
  QStringList numbers;
  for (const std::string& tel : marks_.Numbers()) numbers << FromWindows1250(QByteArray::fromStdString(tel));
  return numbers;
}

bool PhoneListView::AllMarked() const { return ::AllMarked(session_, marks_); }

void PhoneListView::ClearMarks() {
  marks_.Empty();
  ListChanged();
}

PhoneListView::~PhoneListView() {
  // The session may outlive the view; its cursor must not call back into it.
  if (session_.DatabaseOpen()) session_.Dbf1().onDataChange = nullptr;
  session_.DataSource1StateChange = nullptr;
}

void PhoneListView::Activate() {
  for (int i = 0; i < 3; ++i) {
    searchEdits_[i]->setGeometry(dataEdits_[i]->geometry());
    searchEdits_[i]->clear();
  }
  but_zarzadzajClick();
}
