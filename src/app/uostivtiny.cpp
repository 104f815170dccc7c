#include "app/uostivtiny.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "app/controls.h"
#include "core/access_lock.h"
#include "app/dlgostiv.h"
#include "app/language_file.h"
#include "app/pinostiv.h"
#include "app/pictures.h"
#include "app/progress_panel.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "phonelist/list_model.h"
#include "phonelist/list_view.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "controller/report_view.h"
#include "core/schema.h"
#include "serial/list_transfer.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

constexpr QRect kLeftColumn(41, 117, 202, 483);
constexpr QRect kRightArea(256, 120, 777, 481);

constexpr int kTabTop = 62;
constexpr int kTabWidth = 196;
constexpr int kTabHeight = 42;
constexpr int kTabStep = 208;


const QString kWidgetStyle = QStringLiteral(
    "QLineEdit, QComboBox, QDateEdit {"
    "  border: 1px solid rgb(196,206,222); border-radius: 4px; padding: 2px 6px;"
    "  background: white; color: rgb(1,81,178); selection-background-color: rgb(250,192,23);"
    "  selection-color: rgb(0,42,102); }"
    "QLineEdit:focus, QComboBox:focus, QDateEdit:focus { border: 1px solid rgb(250,192,23); }"
    "QComboBox::drop-down, QDateEdit::drop-down { border: none; width: 22px; }"
    "QComboBox QAbstractItemView { border: 1px solid rgb(1,81,178); color: rgb(1,81,178);"
    "  selection-background-color: rgb(255,246,217); selection-color: rgb(0,42,102); }"
    "QPlainTextEdit { border: 1px solid rgb(214,221,232); border-radius: 4px; background: rgb(248,249,251);"
    "  color: rgb(40,52,70); }"
    "QTableView { border: 1px solid rgb(214,221,232); gridline-color: rgb(226,231,239); background: white;"
    "  color: rgb(1,81,178); selection-background-color: rgb(255,246,217); selection-color: rgb(0,42,102); }"
    "QScrollBar:vertical { background: rgb(248,249,251); width: 12px; margin: 0; }"
    "QScrollBar::handle:vertical { background: rgb(196,206,222); border-radius: 5px; min-height: 24px;"
    "  margin: 1px 2px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
    "QToolButton { border: none; background: transparent; }");

QLabel* Caption(QWidget* parent, const QString& name, const QString& text, const QRect& rect, int pixelSize = 12,
                bool bold = true) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(pictures::Font(pixelSize, bold));
  label->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  label->setGeometry(rect);
  return label;
}

QLineEdit* Edit(QWidget* parent, const QString& name, const QRect& rect, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setFont(pictures::Font(13));
  edit->setGeometry(rect);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

// The "+48" box in front of a phone field: the country code is never stored.
QLabel* CountryCode(QWidget* parent, const QString& name, const QRect& rect) {
  auto* label = new QLabel(QStringLiteral("+48"), parent);
  label->setObjectName(name);
  label->setFont(pictures::Font(13, true));
  label->setAlignment(Qt::AlignCenter);
  label->setStyleSheet(QStringLiteral(
      "color: rgb(1,81,178); background: rgb(238,238,238); border: 1px solid rgb(196,206,222);"
      " border-radius: 4px;"));
  label->setGeometry(rect);
  return label;
}

// The blue bar of column titles above a grid (the grids draw no title row).
QFrame* TitleBar(QWidget* parent, const QRect& rect) {
  auto* bar = new QFrame(parent);
  bar->setGeometry(rect);
  bar->setStyleSheet(QStringLiteral(
      "QFrame { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(18,108,214), stop:1 rgb(1,81,178));"
      " border-top-left-radius: 4px; border-top-right-radius: 4px; }"));
  return bar;
}

ClickLabel* ColumnTitle(QWidget* parent, const QString& name, const QString& text, const QRect& rect) {
  auto* title = new ClickLabel(parent);
  title->setObjectName(name);
  title->setText(text);
  title->setFont(pictures::Font(12, true));
  title->setStyleSheet(QStringLiteral("color: white; background: transparent; padding-left: 8px;"));
  title->setGeometry(rect);
  title->setCursor(Qt::PointingHandCursor);
  return title;
}

// `titles` name the columns (the language file translates them) though the
// grids show no title row.
QTableView* Grid(QWidget* parent, const QString& name, const QRect& rect, const QList<int>& widths,
                 const QStringList& titles) {
  auto* grid = new QTableView(parent);
  grid->setObjectName(name);
  grid->setGeometry(rect);
  grid->setFont(pictures::Font(12));
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(28);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // An empty model until the table behind the grid is opened.
  auto* model = new QStandardItemModel(0, int(widths.size()), grid);
  model->setHorizontalHeaderLabels(titles);
  grid->setModel(model);
  for (int i = 0; i < widths.size(); ++i) grid->setColumnWidth(i, widths[i]);
  return grid;
}

}  // namespace

TForm1::TForm1(Session& session, QWidget* parent)
    : QWidget(parent), session_(session), link_(std::make_unique<Link>(session)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Ostiv"));
  // A fixed window: no maximise, no resizing; it keeps its taskbar entry.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(pictures::Font(12));
  setStyleSheet(kWidgetStyle);

  background_ = new QLabel(this);
  background_->setObjectName(QStringLiteral("Image10"));
  background_->setPixmap(pictures::WindowBackground(size()));
  background_->setScaledContents(true);
  background_->setGeometry(rect());

  BuildTabs();
  BuildPhoneListView();
  BuildConfigurationView();
  BuildReportView();
  BuildCompanyView();
  BuildMenus();
  // Nothing shows until the activation step picks the first view.
  for (ViewPanel* panel : viewPanels_) panel->hide();

  czekaj_na_zapis_ = new ProgressPanel(this);
  czekaj_na_zapis_->move((kClientWidth - ProgressPanel::kWidth) / 2, (kClientHeight - ProgressPanel::kHeight) / 2);
  connect(czekaj_na_zapis_, &ProgressPanel::cancelClicked, this, [this] { session_.CancelRequested = true; });

  FormCreate();
}

TForm1::~TForm1() {
  // The session may outlive the window; its cursor must not call back into it.
  if (session_.DatabaseOpen()) {
    session_.Dbf1().onDataChange = nullptr;
    session_.Dbf3().onDataChange = nullptr;
  }
  session_.DataSource1StateChange = nullptr;
}

void TForm1::FormCreate() {
  const QString failure = session_.Create();
  zapKonfigRest_ = zap_konfig_->pos();
  if (!failure.isEmpty()) {
    // Nothing is touched: the file stays as it is for whoever can mend it.
    ShowError(QStringLiteral("%1\n%2").arg(session_.FilePath(kDatabaseFileName), failure));
    return;
  }
  ConnectPhoneList();
  ConnectReportGrid();
  Link& link = *link_;
  link.onLog = [this](const QString& line) { Log_->appendPlainText(line); };
  link.processEvents = [this] { ProcessEvents(); };
}

void TForm1::BuildTabs() {
  const char* const pictureNames[4] = {"Image11", "Image13", "Image15", "Image16"};
  const char* const captionNames[4] = {"Label1", "Label2", "Label3", "Label4"};
  const char* const captions[4] = {"LISTA TELEFONÓW", "KONFIGURACJA", "RAPORT", "O FIRMIE"};
  void (TForm1::*clicks[4])() = {&TForm1::Image11Click, &TForm1::Image13Click, &TForm1::Image15Click,
                                 &TForm1::Image16Click};

  // Three picture pairs serve the four tabs: the second and third share one.
  const char* const activeNames[3] = {"Image12_a", "Image14_a", "Image17_a"};
  const char* const inactiveNames[3] = {"Image12", "Image14", "Image17"};
  const QSize tabSize(kTabWidth, kTabHeight);
  for (int i = 0; i < 3; ++i) {
    activeSources_[i] = new QLabel(this);
    activeSources_[i]->setObjectName(QString::fromLatin1(activeNames[i]));
    activeSources_[i]->setPixmap(pictures::Tab(tabSize, true));
    activeSources_[i]->hide();
    inactiveSources_[i] = new QLabel(this);
    inactiveSources_[i]->setObjectName(QString::fromLatin1(inactiveNames[i]));
    inactiveSources_[i]->setPixmap(pictures::Tab(tabSize, false));
    inactiveSources_[i]->hide();
  }

  for (int i = 0; i < 4; ++i) {
    const QRect rect(41 + i * kTabStep, kTabTop, kTabWidth, kTabHeight);
    tabPictures_[i] = new ClickLabel(this);
    tabPictures_[i]->setObjectName(QString::fromLatin1(pictureNames[i]));
    tabPictures_[i]->setGeometry(rect);
    tabPictures_[i]->setCursor(Qt::PointingHandCursor);
    tabCaptions_[i] = new ClickLabel(this);
    tabCaptions_[i]->setObjectName(QString::fromLatin1(captionNames[i]));
    tabCaptions_[i]->setText(QString::fromUtf8(captions[i]));
    tabCaptions_[i]->setFont(pictures::Font(13, true));
    tabCaptions_[i]->setAlignment(Qt::AlignCenter);
    // The first two tabs leave room at their right for the menu arrow.
    tabCaptions_[i]->setGeometry(i < 2 ? rect.adjusted(0, 4, -28, 0) : rect.adjusted(0, 4, 0, 0));
    tabCaptions_[i]->setCursor(Qt::PointingHandCursor);
    const auto click = clicks[i];
    connect(tabPictures_[i], &ClickLabel::clicked, this, [this, click] { (this->*click)(); });
    connect(tabCaptions_[i], &ClickLabel::clicked, this, [this, click] { (this->*click)(); });
  }

  const QPixmap arrow = pictures::MenuArrow(QSize(26, 26));
  Image25_ = new ClickLabel(this);
  Image25_->setObjectName(QStringLiteral("Image25"));
  Image25_->setPixmap(arrow);
  Image25_->setGeometry(41 + kTabWidth - 34, kTabTop + 10, 26, 26);
  Image25_->setCursor(Qt::PointingHandCursor);
  Image25_->setToolTip(QString::fromUtf8("Polecenia listy telefonów"));
  connect(Image25_, &ClickLabel::clicked, this, &TForm1::Image25Click);

  zap_menu_konfig_ = new ClickLabel(this);
  zap_menu_konfig_->setObjectName(QStringLiteral("zap_menu_konfig"));
  zap_menu_konfig_->setPixmap(arrow);
  zap_menu_konfig_->setGeometry(41 + kTabStep + kTabWidth - 34, kTabTop + 10, 26, 26);
  zap_menu_konfig_->setCursor(Qt::PointingHandCursor);
  zap_menu_konfig_->setToolTip(QString::fromUtf8("Polecenia sterownika"));
  connect(zap_menu_konfig_, &ClickLabel::clicked, this, &TForm1::zap_menu_konfigClick);
}

void TForm1::BuildPhoneListView() {
  ViewPanel* left = viewPanels_[0] = new ViewPanel("panel_lista_l", QString::fromUtf8("Zarządzanie telefonami"), "Label5", this);
  ViewPanel* right = viewPanels_[1] = new ViewPanel("panel_lista_g", QString::fromUtf8("Lista telefonów"), "Label24", this);
  left->setGeometry(kLeftColumn);
  right->setGeometry(kRightArea);

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
  connect(static_cast<ClickLabel*>(but_zarzadzaj_), &ClickLabel::clicked, this, &TForm1::but_zarzadzajClick);
  connect(static_cast<ClickLabel*>(but_szukaj_), &ClickLabel::clicked, this, &TForm1::but_szukajClick);

  Caption(left, "Label6", QString::fromUtf8("Imię"), QRect(12, 98, 178, 18));
  Caption(left, "Label7", QStringLiteral("Nazwisko"), QRect(12, 154, 178, 18));
  CountryCode(left, "Label8", QRect(12, 214, 42, 30));
  const QRect editRects[3] = {QRect(12, 116, 178, 30), QRect(12, 172, 178, 30), QRect(58, 214, 132, 30)};
  const int maxLengths[3] = {40, 40, 12};
  for (int i = 0; i < 3; ++i) {
    dataEdits_[i] = Edit(left, QStringLiteral("DBEdit%1").arg(i + 1), editRects[i], maxLengths[i]);
    searchEdits_[i] = Edit(left, QStringLiteral("DBEdit%1_").arg(i + 1), editRects[i], 0);
    searchEdits_[i]->setPlaceholderText(QString::fromUtf8("początek tekstu…"));
    searchEdits_[i]->hide();
  }

  const PictureButton action = MakePictureButton(left, "Image22", "but_add_poust_find", "DODAJ TELEFON",
                                                 QRect(12, 270, 178, 38),
                                                 pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary),
                                                 Qt::white, 9);
  Image22_ = action.picture;
  but_add_poust_find_ = action.caption;
  but_add_poust_find_->setGeometry(40, 279, 150, 20);
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
  RxDBGrid1_ = Grid(right, "RxDBGrid1", QRect(12, 82, 753, 387), {39, 250, 300, 160},
                    {"check", "IMIE", "NAZWISKO", "TEL"});
}

void TForm1::BuildConfigurationView() {
  ViewPanel* left = viewPanels_[2] = new ViewPanel("panel_konfig_l", QStringLiteral("Konfiguracja"), "Label9", this);
  ViewPanel* right = viewPanels_[3] =
      new ViewPanel("panel_konfig_g", QStringLiteral("Ustawienia zaawansowane"), "Label10", this);
  left->setGeometry(kLeftColumn);
  right->setGeometry(kRightArea);

  Caption(left, "Label11", QStringLiteral("Port komunikacyjny COM"), QRect(12, 54, 178, 18));
  listcom_ = new DropDown(left);
  listcom_->setObjectName(QStringLiteral("listcom"));
  listcom_->setGeometry(12, 72, 138, 30);
  butfindport_ = new QToolButton(left);
  butfindport_->setObjectName(QStringLiteral("butfindport"));
  butfindport_->setGeometry(156, 72, 34, 30);
  butfindport_->setIcon(QIcon(pictures::SearchGlyph(QSize(34, 30))));
  butfindport_->setIconSize(QSize(34, 30));
  butfindport_->setToolTip(QString::fromUtf8("Wyszukaj porty COM"));
  butfindport_->setCursor(Qt::PointingHandCursor);

  Caption(left, "Label12", QStringLiteral("Telefon administratora"), QRect(12, 114, 178, 18));
  CountryCode(left, "Label13", QRect(12, 132, 42, 30));
  teladmin_ = Edit(left, "teladmin", QRect(58, 132, 132, 30), 9);
  Caption(left, "Label14", QStringLiteral("Telefon sterownika"), QRect(12, 174, 178, 18));
  CountryCode(left, "Label15", QRect(12, 192, 42, 30));
  telster_ = Edit(left, "telster", QRect(58, 192, 132, 30), 9);

  Caption(left, "Label16", QString::fromUtf8("Czas włączenia przekaźnika"), QRect(12, 234, 178, 18));
  listczas_ = new DropDown(left);
  listczas_->setObjectName(QStringLiteral("listczas"));
  listczas_->setGeometry(12, 252, 178, 30);
  for (const char* item : kRelayTimes) listczas_->addItem(QString::fromLatin1(item));
  listczas_->setCurrentIndex(1);
  // Closing either list marks the view, changed or not; so does typing a phone.
  connect(listcom_, &DropDown::closedUp, this, &TForm1::listcomCloseUp);
  connect(listczas_, &DropDown::closedUp, this, &TForm1::listcomCloseUp);
  connect(teladmin_, &QLineEdit::textEdited, this, &TForm1::MarkSettingsChanged);
  connect(telster_, &QLineEdit::textEdited, this, &TForm1::MarkSettingsChanged);

  // "ZAPISZ ZMIANY": the picture stands 7 above the caption, left edges aligned.
  const PictureButton save = MakePictureButton(left, "Image30", "zap_konfig", "ZAPISZ ZMIANY",
                                               QRect(12, 300, 178, 38),
                                               pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary),
                                               Qt::white, 9);
  Image30_ = save.picture;
  zap_konfig_ = save.caption;
  zap_konfig_->setGeometry(12, 307, 178, 22);
  connect(zap_konfig_, &ClickLabel::clicked, this, &TForm1::zap_konfigClick);
  connect(Image30_, &ClickLabel::clicked, this, &TForm1::zap_konfigClick);
  connect(zap_konfig_, &ClickLabel::pressed, this, &TForm1::zap_konfigMouseDown);
  connect(zap_konfig_, &ClickLabel::released, this, &TForm1::zap_konfigMouseUp);
  zap_konf_ = new QLabel(QStringLiteral("*"), left);
  zap_konf_->setObjectName(QStringLiteral("zap_konf"));
  zap_konf_->setFont(pictures::Font(20, true));
  zap_konf_->setStyleSheet(QStringLiteral("color: rgb(250,192,23); background: transparent;"));
  zap_konf_->setGeometry(22, 307, 16, 22);
  zap_konf_->setAttribute(Qt::WA_TransparentForMouseEvents);
  zap_konf_->hide();

  Caption(right, "Label17", QString::fromUtf8("Ważność karty SIM"), QRect(440, 11, 180, 18), 12, false)
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  DateEdit1_ = new QDateEdit(QDate::currentDate(), right);
  DateEdit1_->setObjectName(QStringLiteral("DateEdit1"));
  DateEdit1_->setCalendarPopup(true);
  // The system's short date, always with a four-digit year; where no locale
  // is set at all, the Polish one the program is made for.
  QLocale locale = QLocale::system();
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::Polish, QLocale::Poland);
  QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
  if (!dateFormat.contains(QLatin1String("yyyy"))) dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  DateEdit1_->setDisplayFormat(dateFormat);
  DateEdit1_->setGeometry(630, 6, 135, 28);

  Caption(right, "Label18", QString::fromUtf8("Logi urządzenia"), QRect(12, 50, 300, 20));
  Log_ = new QPlainTextEdit(right);
  Log_->setObjectName(QStringLiteral("Log"));
  Log_->setReadOnly(true);
  Log_->setFont(QFont(QStringLiteral("Liberation Mono"), 10));
  Log_->setGeometry(12, 72, 753, 360);
  Log_->setPlaceholderText(QString::fromUtf8("Tu pojawią się polecenia wysłane do sterownika i jego odpowiedzi."));

  auto* disk = new ClickLabel(right);
  disk->setObjectName(QStringLiteral("Image31"));
  disk->setPixmap(pictures::DiskGlyph(QSize(22, 22)));
  disk->setGeometry(12, 444, 22, 22);
  disk->setCursor(Qt::PointingHandCursor);
  auto* saveLog = new ClickLabel(right);
  saveLog->setObjectName(QStringLiteral("zapisz_dopliku"));
  saveLog->setText(QStringLiteral("ZAPISZ DO PLIKU"));
  saveLog->setFont(pictures::Font(12, true));
  saveLog->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  saveLog->setGeometry(42, 444, 200, 22);
  saveLog->setCursor(Qt::PointingHandCursor);
  connect(saveLog, &ClickLabel::clicked, this, &TForm1::zapisz_doplikuClick);
  connect(disk, &ClickLabel::clicked, this, &TForm1::zapisz_doplikuClick);

  panel_com_ = new PickerPanel(QStringLiteral("panel_com"), QStringLiteral("Wybierz port komunikacyjny COM"), this);
  connect(butfindport_, &QToolButton::clicked, this, &TForm1::butfindportClick);
  connect(panel_com_->list(), &QListWidget::itemClicked, this, &TForm1::ListBox1Click);
}

void TForm1::BuildReportView() {
  ViewPanel* left = viewPanels_[4] = new ViewPanel("panel_raporty_l", QStringLiteral("Ustawienia raportu"), "Label19", this);
  ViewPanel* right = viewPanels_[5] = new ViewPanel("panel_raporty_g", QStringLiteral("Raport"), "Label20", this);
  left->setGeometry(kLeftColumn);
  right->setGeometry(kRightArea);

  Caption(left, "Label21", QString::fromUtf8("Ile pobrać ostatnich wpisów"), QRect(12, 54, 178, 18));
  edilpob_ = Edit(left, "edilpob", QRect(12, 72, 178, 30), 9);
  edilpob_->setText(QStringLiteral("10"));
  const PictureButton fetch = MakePictureButton(left, "Image32", "pobierz_wpisy", "POBIERZ WPISY",
                                                QRect(12, 118, 178, 38),
                                                pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary),
                                                Qt::white, 9);
  connect(fetch.picture, &ClickLabel::clicked, this, &TForm1::pobierz_wpisyClick);
  connect(fetch.caption, &ClickLabel::clicked, this, &TForm1::pobierz_wpisyClick);

  auto* memo = new QPlainTextEdit(right);
  memo->setObjectName(QStringLiteral("ALMemo1"));
  memo->setReadOnly(true);
  memo->setGeometry(12, 52, 520, 417);
  memo->setPlaceholderText(QString::fromUtf8(
      "Ostatnie wpisy dziennika zdarzeń sterownika: numer telefonu i czas zdarzenia.\n\n"
      "Podaj po lewej, ile wpisów pobrać, i wybierz POBIERZ WPISY."));

  TitleBar(right, QRect(544, 52, 221, 30));
  ColumnTitle(right, "Label22", QStringLiteral("Telefon"), QRect(544, 52, 100, 30));
  ColumnTitle(right, "Label34", QStringLiteral("Data"), QRect(645, 52, 120, 30));
  RxDBGrid2_ = Grid(right, "RxDBGrid2", QRect(544, 82, 221, 387), {100, 100}, {"Tel", "Data"});
}

void TForm1::BuildCompanyView() {
  ViewPanel* left = viewPanels_[6] = new ViewPanel("panel_ofirmie_l", QStringLiteral("O firmie"), "Label35", this);
  ViewPanel* right = viewPanels_[7] = new ViewPanel("panel_ofirmie_g", QString(), QString(), this);
  left->setGeometry(kLeftColumn);
  right->setGeometry(kRightArea);

  auto* mark = new QLabel(left);
  mark->setObjectName(QStringLiteral("Image33"));
  mark->setPixmap(pictures::Mark(QSize(72, 72)));
  mark->setGeometry(12, 58, 72, 72);
  auto* about = Caption(left, "Label36",
                        QString::fromUtf8("Projektujemy i produkujemy sterowniki GSM do bram, szlabanów i drzwi "
                                          "oraz oprogramowanie do ich konfiguracji."),
                        QRect(12, 146, 178, 110), 13, false);
  about->setWordWrap(true);
  about->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* logo = new QLabel(right);
  logo->setObjectName(QStringLiteral("Image34"));
  logo->setPixmap(pictures::Logo(QSize(460, 110)));
  logo->setGeometry(40, 40, 460, 110);

  Caption(right, "Label37", QStringLiteral("Selvantrix Sp. z o.o."), QRect(40, 176, 600, 26), 18);
  struct Line {
    int glyph;
    const char* name;
    const char* text;
  };
  const Line lines[] = {
      {0, "Label38", "ul. Przemysłowa 12, 30-701 Kraków"},
      {1, "Label39", "tel. +48 12 345 67 00    fax +48 12 345 67 01"},
      {1, "Label40", "tel. kom. +48 600 100 200"},
      {2, "Label41", "biuro@selvantrix.pl"},
      {3, "Label42", "www.selvantrix.pl"},
  };
  int top = 222;
  for (const Line& line : lines) {
    auto* glyph = new QLabel(right);
    glyph->setPixmap(pictures::ContactGlyph(QSize(26, 26), line.glyph));
    glyph->setGeometry(40, top, 26, 26);
    Caption(right, line.name, QString::fromUtf8(line.text), QRect(78, top, 600, 26), 14, false);
    top += 42;
  }
  auto* rule = new QFrame(right);
  rule->setGeometry(40, 440, 697, 3);
  rule->setStyleSheet(QStringLiteral("background: rgb(250,192,23); border: none;"));
}

void TForm1::BuildMenus() {
  MenuLista_ = new MenuPanel(QStringLiteral("MenuLista"), this);
  MenuLista_->move(41, 104);
  const std::pair<const char*, const char*> listEntries[] = {
      {"imp_list", "IMPORTUJ LISTĘ TELEFONÓW"},
      {"export_list", "EXPORTUJ LISTĘ TELEFONÓW"},
      {"zap_do_sterownika", "ZAPISZ DO STEROWNIKA PRZEZ COM"},
      {"odczytaj_z_sterownika_com", "ODCZYTAJ ZE STEROWNIKA PRZEZ COM"},
      {"usun_ze_sterownika", "USUŃ ZE STEROWNIKA PRZEZ COM"},
      {"weryfikuj_przez_com", "WERYFIKUJ LISTĘ TELEFONÓW PORZEZ COM"},
      {"usun_z_listy", "USUŃ Z LISTY"},
  };
  for (const auto& [name, caption] : listEntries) {
    menuEntries_.insert(QString::fromLatin1(name), MenuLista_->AddEntry(name, QString::fromUtf8(caption)));
  }

  menukonfig_ = new MenuPanel(QStringLiteral("menukonfig"), this);
  menukonfig_->move(41 + kTabStep, 104);
  const std::pair<const char*, const char*> configEntries[] = {
      {"zapis_konfig_com", "ZAPISZ DO STEROWNIKA PRZEZ COM"},
      {"odczyt_konfig_com", "ODCZYTAJ ZE STEROWNIKA PRZEZ COM"},
      {"formatuj_mem", "FORMATUJ PAMIĘĆ STEROWNIKA PRZEZ COM"},
      {"Label46", "HASŁO DOSTĘPU"},
      {"zapis_do_ser_przypom", "ZAPISZ DO STEROWNIKA PRZYPOMNIENIE"},
  };
  for (const auto& [name, caption] : configEntries) {
    menuEntries_.insert(QString::fromLatin1(name), menukonfig_->AddEntry(name, QString::fromUtf8(caption)));
  }
  // The commands behind the entries; all but "HASŁO DOSTĘPU" close their menu first.
  const std::pair<const char*, void (TForm1::*)()> commands[] = {
      {"imp_list", &TForm1::imp_listClick},
      {"export_list", &TForm1::export_listClick},
      {"zap_do_sterownika", &TForm1::zap_do_sterownikaClick},
      {"odczytaj_z_sterownika_com", &TForm1::odczytaj_z_sterownika_comClick},
      {"usun_ze_sterownika", &TForm1::usun_ze_sterownikaClick},
      {"weryfikuj_przez_com", &TForm1::weryfikuj_przez_comClick},
      {"usun_z_listy", &TForm1::usun_z_listyClick},
      {"zapis_konfig_com", &TForm1::zapis_konfig_comClick},
      {"odczyt_konfig_com", &TForm1::odczyt_konfig_comClick},
      {"formatuj_mem", &TForm1::formatuj_memClick},
      {"Label46", &TForm1::Label46Click},
      {"zapis_do_ser_przypom", &TForm1::zapis_do_ser_przypomClick},
  };
  for (const auto& [name, command] : commands) {
    connect(menuEntries_.value(QString::fromLatin1(name)), &ClickLabel::clicked, this, command);
  }
}

void TForm1::ShowView(View view) {
  const int index = int(view);
  // Picture pair per tab: the second and third tabs share theirs.
  const int pairOf[4] = {0, 1, 1, 2};
  for (int i = 0; i < 4; ++i) {
    const bool active = i == index;
    const QLabel* source = active ? activeSources_[pairOf[i]] : inactiveSources_[pairOf[i]];
    tabPictures_[i]->setPixmap(source->pixmap());
    tabCaptions_[i]->setStyleSheet(active ? QStringLiteral("color: rgb(1,81,178); background: transparent;")
                                          : QStringLiteral("color: white; background: transparent;"));
  }
  for (int i = 0; i < 8; ++i) viewPanels_[i]->setVisible(i / 2 == index);
}

void TForm1::Image11Click() {
  ShowView(View::kPhoneList);
  menukonfig_->hide();
}

void TForm1::Image13Click() {
  ShowView(View::kConfiguration);
  MenuLista_->hide();
  LoadSettingsView(1);
}

void TForm1::Image15Click() {
  ShowView(View::kReport);
  MenuLista_->hide();
  menukonfig_->hide();
}

void TForm1::Image16Click() {
  ShowView(View::kCompany);
  MenuLista_->hide();
  menukonfig_->hide();
}

void TForm1::Image25Click() {
  Image11Click();
  MenuLista_->show();
  MenuLista_->raise();
}

void TForm1::zap_menu_konfigClick() {
  Image13Click();
  menukonfig_->show();
  menukonfig_->raise();
}

void TForm1::ShowListMode(bool search) {
  const QString current = QStringLiteral(
      "color: rgb(1,81,178); background: rgb(244,248,251); border: 1px solid rgb(214,221,232);"
      " border-bottom: 3px solid rgb(250,192,23);");
  const QString other = QStringLiteral(
      "color: rgb(120,134,156); background: rgb(239,242,247); border: 1px solid rgb(214,221,232);");
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

void TForm1::but_zarzadzajClick() { ShowListMode(false); }

void TForm1::but_szukajClick() { ShowListMode(true); }

void TForm1::FormActivate() {
  if (activated_) return;
  activated_ = true;

  for (int i = 0; i < 8; ++i) viewPanels_[i]->setGeometry(i % 2 == 0 ? kLeftColumn : kRightArea);
  for (int i = 0; i < 3; ++i) {
    searchEdits_[i]->setGeometry(dataEdits_[i]->geometry());
    searchEdits_[i]->clear();
  }
  listcom_->clear();
  for (int n = 1; n <= kPortCount; ++n) listcom_->addItem(QStringLiteral("COM%1").arg(n));
  // No port is chosen until the settings or the user choose one.
  listcom_->setCurrentIndex(-1);

  Image11Click();
  but_zarzadzajClick();

  session_.ApplyStartOptions();

  ApplyLanguageFile(this, session_.FilePath(kLanguageFileName), [this] { ProcessEvents(); });

  const QString typed = AskForPin();
  bool accepted = false;
  // A table that cannot store the first digest opens nothing either.
  RunCommand(*this, [&] { accepted = CheckAccess(session_, *this, typed, session_.Today()); });
  if (!accepted) close();
}

QString TForm1::AskForPin() { return askPin ? askPin() : AskPin(this); }

void TForm1::Label46Click() {
  const QString typed = AskForPin();
  RunCommand(*this, [&] { ChangePin(session_, typed); });
}

void TForm1::LoadSettingsView(int viewKey) {
  RunCommand(*this, [&] { ::LoadSettingsView(session_, *this, viewKey); });
}

void TForm1::zap_konfigClick() {
  if (!SaveSettingsView()) return;
  zap_konf_->hide();
  session_.UnsavedChanges = false;
}

void TForm1::listcomCloseUp() { MarkSettingsChanged(); }

void TForm1::MarkSettingsChanged() {
  zap_konf_->show();
  session_.UnsavedChanges = true;
}

QString TForm1::Phone(Field field) const {
  return (field == Field::kAdminPhone ? teladmin_ : telster_)->text();
}

void TForm1::SetPhone(Field field, const QString& text) {
  (field == Field::kAdminPhone ? teladmin_ : telster_)->setText(text);
}

int TForm1::PortIndex() const { return listcom_->currentIndex(); }

void TForm1::SetPortIndex(int index) { listcom_->setCurrentIndex(index); }

int TForm1::RelayIndex() const { return listczas_->currentIndex(); }

void TForm1::SetRelayIndex(int index) { listczas_->setCurrentIndex(index); }

QString TForm1::DateText() const { return DateEdit1_->text(); }

void TForm1::SetDateText(const QString& text) {
  const QDate date = QDate::fromString(text, DateEdit1_->displayFormat());
  // A text the picker cannot show leaves its date as it was.
  if (date.isValid()) DateEdit1_->setDate(date);
}

QDate TForm1::Date() const { return QDate::fromString(DateEdit1_->text(), DateEdit1_->displayFormat()); }

void TForm1::ShowField(Field field) {
  Image13Click();
  (field == Field::kAdminPhone ? teladmin_ : telster_)->setFocus();
}

void TForm1::zap_konfigMouseDown() {
  zap_konfig_->move(zapKonfigRest_ + QPoint(2, 2));
  Image30_->move(zapKonfigRest_.x() + 2, zapKonfigRest_.y() - 5);
}

void TForm1::zap_konfigMouseUp() {
  zap_konfig_->move(zapKonfigRest_);
  Image30_->move(zapKonfigRest_.x(), zapKonfigRest_.y() - 7);
}

int TForm1::ShowDialog(const QString& text, int kind) { return ::ShowDialog(this, text, kind); }

void TForm1::ShowError(const QString& text) { QMessageBox::critical(this, QStringLiteral("Selvantrix"), text); }

void TForm1::ShowProgress() {
  czekaj_na_zapis_->show();
  czekaj_na_zapis_->raise();
}

void TForm1::UpdateProgress(int current, int total) {
  czekaj_na_zapis_->UpdateProgress(current, total);
  ProcessEvents();
}

void TForm1::HideProgress() { czekaj_na_zapis_->hide(); }

void TForm1::ProcessEvents() { eventPacer_.Pass(); }

void TForm1::SuspendViewUpdates(bool suspended) {
  RxDBGrid1_->setUpdatesEnabled(!suspended);
  RxDBGrid2_->setUpdatesEnabled(!suspended);
}

bool TForm1::SaveSettingsView() {
  bool saved = false;
  RunCommand(*this, [&] { saved = ::SaveSettingsView(session_, *this, *this); });
  return saved;
}

void TForm1::PostPendingPhone() { ::PostPendingPhone(session_); }

void TForm1::ConnectPhoneList() {
  listModel_ = new PhoneListModel(session_, this);
  QAbstractItemModel* placeholder = RxDBGrid1_->model();
  RxDBGrid1_->setModel(listModel_);
  delete placeholder;
  RxDBGrid1_->setItemDelegate(new PhoneGridDelegate(RxDBGrid1_));
  RxDBGrid1_->setSelectionMode(QAbstractItemView::NoSelection);
  const int widths[4] = {39, 250, 300, 160};
  for (int i = 0; i < 4; ++i) RxDBGrid1_->setColumnWidth(i, widths[i]);

  // Moving in the grid moves the list; a click in the mark column marks.
  connect(RxDBGrid1_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (syncingGrid_ || !current.isValid() || listModel_->IsPendingRow(current.row())) return;
            if (current.row() == listModel_->CurrentRow()) return;
            RunCommand(*this, [&] { RequireOk(session_.Dbf1().MoveTo(current.row() + 1)); });
            ListChanged();
          });
  connect(RxDBGrid1_, &QTableView::clicked, this, &TForm1::RxDBGrid1CellClick);

  session_.Dbf1().onDataChange = [this] { ListChanged(); };
  session_.DataSource1StateChange = [this](ListState state) { DataSource1StateChange(state); };

  for (ClickLabel* part : {Image22_, but_add_poust_find_, Label23_}) {
    connect(part, &ClickLabel::clicked, this, &TForm1::Label23Click);
  }
  connect(columnTitles_[0], &ClickLabel::clicked, this, &TForm1::Label25Click);
  connect(columnTitles_[1], &ClickLabel::clicked, this, &TForm1::Label26Click);
  connect(columnTitles_[2], &ClickLabel::clicked, this, &TForm1::Label27Click);
  connect(Shape9_, &ShapeWidget::pressed, this, &TForm1::Shape9MouseDown);

  for (int i = 0; i < 3; ++i) {
    connect(dataEdits_[i], &QLineEdit::textEdited, this, [this, i](const QString& text) { DataEditTyped(i, text); });
    connect(dataEdits_[i], &QLineEdit::returnPressed, this, [this, i] { DataEditReturn(i); });
    dataEdits_[i]->installEventFilter(this);
    connect(searchEdits_[i], &QLineEdit::returnPressed, this, &TForm1::Label23Click);
  }
  ListChanged();
}

namespace {
const char* const kBoxFields[3] = {"Imie", "Nazwisko", "Tel"};
}  // namespace

void TForm1::ListChanged() {
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
  for (int i = 0; i < 3; ++i) {
    if (i == typingBox_) continue;
    const QString text = session_.listState() == ListState::kClosed ? QString() : ListFieldText(session_, kBoxFields[i]);
    shownValues_[i] = text;
    if (dataEdits_[i]->text() != text) dataEdits_[i]->setText(text);
  }
}

void TForm1::DataEditTyped(int box, const QString& text) {
  typingBox_ = box;
  RunCommand(*this, [&] { WriteListField(session_, kBoxFields[box], text); });
  typingBox_ = -1;
  listModel_->Changed();
}

void TForm1::DataEditReturn(int box) {
  if (box < 2) {
    dataEdits_[box + 1]->setFocus();
    return;
  }
  // No phone check on this path, and the store's refusal is shown as it is;
  // the row stays pending with the focus in the phone box.
  QString refusal;
  RunCommand(*this, [&] { refusal = PostFromPhoneBox(session_); });
  if (!refusal.isEmpty()) {
    ShowError(refusal);
    return;
  }
  dataEdits_[0]->setFocus();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  for (int i = 0; i < 3; ++i) {
    if (watched != dataEdits_[i]) continue;
    if (event->type() == QEvent::FocusOut) {
      shownValues_[i] = dataEdits_[i]->text();
    } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      dataEdits_[i]->setText(shownValues_[i]);
      if (session_.listState() == ListState::kInsert || session_.listState() == ListState::kEdit) {
        RunCommand(*this, [&] { WriteListField(session_, kBoxFields[i], shownValues_[i]); });
        listModel_->Changed();
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::DataSource1StateChange(ListState state) {
  const bool browse = state == ListState::kBrowse;
  but_add_poust_find_->setText(browse ? QStringLiteral("DODAJ TELEFON") : QStringLiteral("ZAPISZ TELEFON"));
  Label23_->setText(browse ? QStringLiteral("+") : QStringLiteral("*"));
  if (!session_.Dbf1().ControlsDisabled()) ListChanged();
}

void TForm1::Label23Click() {
  RunCommand(*this, [this] {
    if (searchMode_) {
      SearchList(session_, searchEdits_[0]->text(), searchEdits_[1]->text(), searchEdits_[2]->text());
      return;
    }
    const ManageResult result = ManageAction(session_, [this] {
      return CheckPhoneField(*this, dataEdits_[2]->text(), [this] {
        Image11Click();
        dataEdits_[2]->setFocus();
      });
    });
    if (result == ManageResult::kStarted) dataEdits_[0]->setFocus();
  });
}

void TForm1::Label25Click() {
  RunCommand(*this, [this] { SortList(session_, kImieIndex); });
}

void TForm1::Label26Click() {
  RunCommand(*this, [this] { SortList(session_, kNazwiskoIndex); });
}

void TForm1::Label27Click() {
  RunCommand(*this, [this] { SortList(session_, kTelIndex); });
}

void TForm1::RxDBGrid1CellClick(const QModelIndex& index) {
  if (!index.isValid() || index.column() != PhoneListModel::kCheckColumn) return;
  RunCommand(*this, [this] { ToggleMark(session_); });
}

void TForm1::Shape9MouseDown() {
  RunCommand(*this, [this] { MarkAll(session_, *this); });
}

void TForm1::usun_z_listyClick() {
  MenuLista_->hide();
  RunCommand(*this, [this] { DeleteMarked(session_, *this); });
}

void TForm1::export_listClick() {
  MenuLista_->hide();
  const QString path = ChooseListFile(true);
  if (path.isEmpty()) return;
  RunCommand(*this, [&] { ExportList(session_, *this, path); });
}

void TForm1::imp_listClick() {
  MenuLista_->hide();
  const QString path = ChooseListFile(false);
  if (path.isEmpty()) return;
  RunCommand(*this, [&] { ImportList(session_, *this, path); });
}

QString TForm1::ChooseListFile(bool save) {
  if (chooseListFile) return chooseListFile(save);
  QFileDialog dialog(this);
  dialog.setObjectName(save ? QStringLiteral("SaveDialog1") : QStringLiteral("OpenDialog1"));
  dialog.setNameFilter(QString::fromLatin1(kListFileFilter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The file is taken as named: no extension added, no overwrite question,
  // and a missing file is the import's to report.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

void TForm1::ConnectReportGrid() {
  reportModel_ = new ReportModel(session_, this);
  QAbstractItemModel* placeholder = RxDBGrid2_->model();
  RxDBGrid2_->setModel(reportModel_);
  delete placeholder;
  RxDBGrid2_->setItemDelegate(new ReportGridDelegate(RxDBGrid2_));
  // Clicks in the report change nothing.
  RxDBGrid2_->setSelectionMode(QAbstractItemView::NoSelection);
  RxDBGrid2_->setFocusPolicy(Qt::NoFocus);
  for (int column = 0; column < 2; ++column) RxDBGrid2_->setColumnWidth(column, 100);
  session_.Dbf3().onDataChange = [this] { reportModel_->Changed(); };
}

void TForm1::zap_do_sterownikaClick() {
  MenuLista_->hide();
  RunCommand(*this, [this] { TransferMarked(*link_, *this, TransferMode::kWrite); });
}

void TForm1::usun_ze_sterownikaClick() {
  MenuLista_->hide();
  RunCommand(*this, [this] { TransferMarked(*link_, *this, TransferMode::kDelete); });
}

void TForm1::odczytaj_z_sterownika_comClick() {
  MenuLista_->hide();
  RunCommand(*this, [this] { ReadList(*link_, *this); });
}

void TForm1::weryfikuj_przez_comClick() {
  MenuLista_->hide();
  RunCommand(*this, [this] { VerifyList(*link_, *this); });
}

void TForm1::formatuj_memClick() {
  menukonfig_->hide();
  RunCommand(*this, [this] { FormatMemory(*link_, *this); });
}

void TForm1::odczyt_konfig_comClick() {
  menukonfig_->hide();
  RunCommand(*this, [this] { ReadConfiguration(*link_, *this, *this); });
}

void TForm1::zapis_konfig_comClick() {
  menukonfig_->hide();
  RunCommand(*this, [this] { WriteConfiguration(*link_, *this, *this); });
}

void TForm1::zapis_do_ser_przypomClick() {
  menukonfig_->hide();
  RunCommand(*this, [this] { SendReminder(*link_, *this, *this); });
}

void TForm1::pobierz_wpisyClick() {
  RunCommand(*this, [this] { FetchEvents(*link_, *this, edilpob_->text()); });
}

void TForm1::butfindportClick() {
  portEntries_ = EnumerateSerialPorts(session_.FilePath(kSettingsFileName));
  QListWidget* list = panel_com_->list();
  list->clear();
  // Beside the search button: 20 to the right of it, 5 below its top.
  const QRect button(butfindport_->mapTo(this, QPoint(0, 0)), butfindport_->size());
  panel_com_->move(button.right() + 1 + 20, button.top() + 5);
  for (const PortEntry& entry : portEntries_) list->addItem(entry.text);
  panel_com_->raise();
  panel_com_->show();
}

void TForm1::ListBox1Click(QListWidgetItem* item) {
  QListWidget* list = panel_com_->list();
  const int row = item ? list->row(item) : -1;
  if (row >= 0) {
    const QString name = item->text().section(u':', 0, 0);
    listcom_->setCurrentIndex(listcom_->findText(name, Qt::MatchExactly));
    const PortEntry& entry = portEntries_.value(row);
    // A device picked under a number of its own keeps that number from now on.
    if (entry.newAlias && entry.number <= kPortCount) {
      RememberPortAlias(session_.FilePath(kSettingsFileName), entry.number, entry.device);
    }
  }
  panel_com_->hide();
  RunCommand(*this, [this] { UpsertSetting(session_, kKeyPort, QString::number(listcom_->currentIndex() + 1)); });
}

void TForm1::zapisz_doplikuClick() {
  const QString text = Log_->toPlainText();
  SaveLogFile(session_.FilePath(kDeviceLogFileName), text.isEmpty() ? QStringList() : text.split(u'\n'));
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool mayClose = true;
  RunCommand(*this, [&] { mayClose = RunCloseStep(session_, *this, *this); });
  if (mayClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
    // Queued, so the window finishes showing before any start-up dialog.
    QTimer::singleShot(0, this, &TForm1::FormActivate);
  }
  QWidget::changeEvent(event);
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  }
  // Some platforms never activate a window that is not focused (offscreen
  // tests, remote sessions): start-up must not depend on it.
  QTimer::singleShot(0, this, &TForm1::FormActivate);
  QWidget::showEvent(event);
}
