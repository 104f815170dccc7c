#include "app/main_window.h"

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
#include <QScrollArea>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "widgets/controls.h"
#include "core/access_lock.h"
#include "app/accessibility.h"
#include "app/dlgostiv.h"
#include "app/language_file.h"
#include "app/pinostiv.h"
#include "widgets/pictures.h"
#include "app/progress_panel.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "phonelist/list_model.h"
#include "phonelist/list_view.h"
#include "app/settings_view.h"
#include "widgets/view_parts.h"
#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "controller/report_view.h"
#include "core/settings.h"
#include "outcome/outcome_text.h"
#include "serial/list_transfer.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

constexpr int kTabTop = 62;
constexpr int kTabWidth = 196;
constexpr int kTabHeight = 42;
constexpr int kTabStep = 208;
// Under the views, as wide as the views together.
constexpr QRect kOutcomeLine(41, 606, 992, 26);

const QString kWidgetStyle =
    QStringLiteral(
        "QLineEdit, QComboBox, QDateEdit {"
        "  border: 1px solid rgb(196,206,222); border-radius: 4px; padding: 2px 6px;"
        "  background: white; color: rgb(1,81,178); selection-background-color: rgb(250,192,23);"
        "  selection-color: rgb(0,42,102); }"
        "QLineEdit:focus, QComboBox:focus, QDateEdit:focus { border: 1px solid rgb(250,192,23); }"
        "QComboBox::drop-down, QDateEdit::drop-down { border: none; width: %1px; }"
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
        "QToolButton { border: none; background: transparent; }")
        .arg(kDropButtonWidth);

}  // namespace

TForm1::TForm1(Session& session, QWidget* parent)
    : QWidget(parent), session_(session), link_(std::make_unique<Link>(session)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Ostiv"));
  site_ = Site{QString::fromUtf8(kMainSiteName), session.Directory(), true};
  mainDirectory_ = session.Directory();
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
  BuildSitePicker();
  BuildPanels(View::kPhoneList, "panel_lista_l", QString::fromUtf8("Zarządzanie telefonami"), "Label5", "panel_lista_g",
              QString::fromUtf8("Lista telefonów"), "Label24");
  listView_ = new PhoneListView(
      viewPanels_[0], viewPanels_[1], session_, *this, [this] { Image11Click(); },
      [this](const QString& text) { ShowOutcome(text); }, this);
  BuildPanels(View::kConfiguration, "panel_konfig_l", QStringLiteral("Konfiguracja"), "Label9", "panel_konfig_g",
              QStringLiteral("Ustawienia zaawansowane"), "Label10");
  settingsView_ = new SettingsView(
      viewPanels_[2], viewPanels_[3], this, session_, *this, [this] { Image13Click(); }, this);
  settingsView_->tell = [this](const QString& text) { ShowOutcome(text); };
  BuildPanels(View::kReport, "panel_raporty_l", QStringLiteral("Ustawienia raportu"), "Label19", "panel_raporty_g",
              QStringLiteral("Raport"), "Label20");
  reportView_ = new ReportView(viewPanels_[4], viewPanels_[5], this);
  reportView_->SetCommandTarget(*link_, [this](const std::function<EventsResult(Progress&)>& fetch) {
    RunOperation([&](Progress& progress) { Tell(Describe(fetch(progress))); });
  });
  BuildCompanyView();
  BuildMenus();
  // Nothing shows until the activation step picks the first view.
  for (ViewPanel* panel : viewPanels_) panel->hide();

  outcome_ = new QLabel(this);
  outcome_->setObjectName(QStringLiteral("outcomeLine"));
  outcome_->setGeometry(kOutcomeLine);
  outcome_->setFont(pictures::Font(12, true));
  outcome_->setStyleSheet(
      QStringLiteral("color: rgb(0,42,102); background: rgb(255,246,217); border: 1px solid rgb(240,214,140);"
                     " border-left: 4px solid rgb(250,192,23); border-radius: 3px; padding-left: 8px;"));
  outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Hidden while empty, so the footer of the background shows.
  outcome_->hide();

  czekaj_na_zapis_ = new ProgressPanel(this);
  czekaj_na_zapis_->move((kClientWidth - ProgressPanel::kWidth) / 2, (kClientHeight - ProgressPanel::kHeight) / 2);
  connect(czekaj_na_zapis_, &ProgressPanel::cancelClicked, this, [this] {
    if (operation_) operation_->Cancel();
  });

  FormCreate();
  NameControlsForAssistiveTools(this);

  // Until the PIN is accepted nothing of the list or the settings shows:
  // a plain surface over the whole client area, above every view.
  pinCover_ = new QWidget(this);
  pinCover_->setObjectName(QStringLiteral("pinCover"));
  pinCover_->setGeometry(rect());
  pinCover_->setAutoFillBackground(true);
  QPalette plain = pinCover_->palette();
  plain.setColor(QPalette::Window, QColor(236, 239, 244));
  pinCover_->setPalette(plain);
  pinCover_->raise();
}

TForm1::~TForm1() {
  // The session may outlive the window; its cursor must not call back into it.
  if (session_.DatabaseOpen()) session_.Dbf3().onDataChange = nullptr;
}

void TForm1::BuildPanels(View view, const char* leftName, const QString& leftHeading, const char* leftHeadingName,
                         const char* rightName, const QString& rightHeading, const char* rightHeadingName) {
  ViewPanel* left = viewPanels_[2 * int(view)] = new ViewPanel(leftName, leftHeading, leftHeadingName, this);
  ViewPanel* right = viewPanels_[2 * int(view) + 1] = new ViewPanel(rightName, rightHeading, rightHeadingName, this);
  left->setGeometry(kLeftColumn);
  right->setGeometry(kRightArea);
}

void TForm1::FormCreate() {
  const QString failure = session_.Create();
  if (!failure.isEmpty()) {
    // Nothing is touched: the file stays as it is for whoever can mend it.
    ShowError(QStringLiteral("%1\n%2").arg(session_.FilePath(kDatabaseFileName), failure));
    return;
  }
  listView_->ConnectPhoneList();
  reportView_->ConnectReportGrid(session_);
  Link& link = *link_;
  link.onLog = [this](const QString& line) { settingsView_->AppendLog(line); };
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
      {"export_list", "EKSPORTUJ LISTĘ TELEFONÓW"},
      {"zap_do_sterownika", "ZAPISZ DO STEROWNIKA PRZEZ COM"},
      {"odczytaj_z_sterownika_com", "ODCZYTAJ ZE STEROWNIKA PRZEZ COM"},
      {"usun_ze_sterownika", "USUŃ ZE STEROWNIKA PRZEZ COM"},
      {"weryfikuj_przez_com", "WERYFIKUJ LISTĘ TELEFONÓW PRZEZ COM"},
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
      {"kopia_sterownika", "KOPIA ZAPASOWA STEROWNIKA"},
      {"przywroc_z_kopii", "PRZYWRÓĆ Z KOPII"},
      {"synchronizuj_liste", "SYNCHRONIZUJ LISTĘ"},
  };
  for (const auto& [name, caption] : configEntries) {
    menuEntries_.insert(QString::fromLatin1(name), menukonfig_->AddEntry(name, QString::fromUtf8(caption)));
  }
  // A press on a menu's own arrow or tab leaves it open.
  for (QWidget* opener : {static_cast<QWidget*>(Image25_), static_cast<QWidget*>(tabPictures_[0]),
                          static_cast<QWidget*>(tabCaptions_[0])}) {
    MenuLista_->AddOpener(opener);
  }
  for (QWidget* opener : {static_cast<QWidget*>(zap_menu_konfig_), static_cast<QWidget*>(tabPictures_[1]),
                          static_cast<QWidget*>(tabCaptions_[1])}) {
    menukonfig_->AddOpener(opener);
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
      {"kopia_sterownika", &TForm1::kopia_sterownikaClick},
      {"przywroc_z_kopii", &TForm1::przywroc_z_kopiiClick},
      {"synchronizuj_liste", &TForm1::synchronizuj_listeClick},
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

void TForm1::FormActivate() {
  if (activated_) return;
  activated_ = true;

  for (int i = 0; i < 8; ++i) viewPanels_[i]->setGeometry(i % 2 == 0 ? kLeftColumn : kRightArea);
  settingsView_->Activate();

  Image11Click();
  listView_->Activate();

  link_->options() = LinkOptionsFrom(ReadSettingsFile(session_.FilePath(kSettingsFileName)));

  ApplyLanguageFile(this, session_.FilePath(kLanguageFileName), [this] { ProcessEvents(); });

  for (;;) {
    const std::optional<QString> typed = AskForPin();
    if (!typed) {
      close();
      return;
    }
    bool accepted = false;
    // A table that cannot store the first digest opens nothing either.
    RunCommand(*this, [&] { accepted = CheckAccess(session_, *this, *typed, session_.Today()); });
    if (accepted) break;
    // An empty box is no attempt: it is said, and the PIN asked again.
    if (!typed->isEmpty()) {
      close();
      return;
    }
  }
  pinCover_->hide();
  // A window activated before its views showed (a site just switched to)
  // found nothing to give the keys to: they go to the first name box, as
  // on a start.
  QWidget* focused = focusWidget();
  if (!focused || !focused->isVisible()) {
    if (auto* first = findChild<QWidget*>(QStringLiteral("DBEdit1"))) first->setFocus();
  }
}

std::optional<QString> TForm1::AskForPin() { return askPin ? askPin() : AskPin(this); }

void TForm1::Label46Click() {
  const std::optional<QString> typed = askNewPin ? askNewPin() : AskNewPin(this);
  if (!typed) return;
  menukonfig_->hide();
  RunCommand(*this, [&] {
    ChangePin(session_, *typed);
    ShowOutcome(QString::fromUtf8("Zmieniono PIN dostępu"));
  });
}

// While a close waits for an operation to end, nothing is shown and every
// question is answered "NIE": the user has left, and a box would hold the
// close (and the port) for as long as nobody answers it.
bool TForm1::Ask(Question question, const QString& text) {
  return !closePending_ &&
         ::ShowDialog(this, text, IsCautious(question) ? kCautiousQuestionKind : kQuestionKind) == 1;
}

Choice TForm1::AskOrCancel(Question question, const QString& text) {
  if (closePending_) return Choice::kNo;
  switch (::ShowDialog(this, text, question == Question::kSaveOnClose ? kCloseQuestionKind : kQuestionKind)) {
    case 1: return Choice::kYes;
    case kCancelAnswer: return Choice::kCancel;
    default: return Choice::kNo;
  }
}

void TForm1::ShowNotice(const QString& text) {
  if (!closePending_) ::ShowDialog(this, text, kNoticeKind);
}

void TForm1::ShowError(const QString& text) {
  if (!closePending_) QMessageBox::critical(this, QStringLiteral("Selvantrix"), text);
}

void TForm1::ShowOutcome(const QString& text) {
  outcome_->setText(text);
  outcome_->setToolTip(text);
  outcome_->setVisible(!text.isEmpty());
  outcome_->raise();
}

void TForm1::Tell(const Report& report) {
  switch (report.verdict) {
    case Verdict::kDone:
    case Verdict::kStopped: ShowOutcome(report.text); return;
    case Verdict::kWarning:
      if (!report.text.isEmpty()) ShowNotice(report.text);
      return;
    case Verdict::kFailed:
      if (!report.text.isEmpty()) ShowNotice(report.text);
      ShowOutcome(report.summary);
      return;
    case Verdict::kDeclined: ShowOutcome(report.summary); return;
  }
}

void TForm1::ShowProgress() {
  // A new operation under way: the previous one's outcome no longer applies.
  ShowOutcome(QString());
  czekaj_na_zapis_->show();
  czekaj_na_zapis_->raise();
}

void TForm1::RunOperation(const std::function<void(Progress&)>& command) {
  if (operation_) {
    // A second command would interleave its lines with the running one's
    // and take over its progress panel and "ANULUJ".
    ShowNotice(QString::fromUtf8(kBusyMessage));
    return;
  }
  // A row still being typed is saved by the rule first, or the command
  // waits for the user to mend it: no command stores a refused number.
  if (!listView_->SettlePending()) return;
  Progress progress(*this);
  operation_ = &progress;
  RunCommand(*this, [&] { command(progress); });
  operation_ = nullptr;
  // Queued: the close must not run inside whatever called this command.
  if (closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::UpdateProgress(int current, int total) {
  // A close cancels every step of the operation it waits for, also one that
  // a cancel stops alone.
  if (closePending_ && operation_) operation_->Cancel();
  czekaj_na_zapis_->UpdateProgress(current, total);
  ProcessEvents();
}

void TForm1::HideProgress() { czekaj_na_zapis_->hide(); }

void TForm1::ProcessEvents() { eventPacer_.Pass(); }

// A grid is not repainted for every row a long command changes, but it
// does not go blank either: a picture of it as it was stands in its place.
void TForm1::SuspendViewUpdates(bool suspended) {
  // Suspensions nest: only the outermost takes the pictures and drops them.
  suspensions_ += suspended ? 1 : -1;
  if (suspensions_ != (suspended ? 1 : 0)) return;
  for (QWidget* grid : {static_cast<QWidget*>(listView_->grid()), static_cast<QWidget*>(reportView_->grid())}) {
    if (suspended) {
      auto* still = new QLabel(grid->parentWidget());
      still->setObjectName(grid->objectName() + QStringLiteral("_still"));
      still->setPixmap(grid->grab());
      still->setGeometry(grid->geometry());
      still->setVisible(grid->isVisible());
      still->raise();
      stills_.push_back(still);
    }
    grid->setUpdatesEnabled(!suspended);
  }
  if (!suspended) {
    for (QLabel* still : stills_) delete still;
    stills_.clear();
  }
  if (czekaj_na_zapis_->isVisible()) czekaj_na_zapis_->raise();
}

bool TForm1::PostPendingPhone() { return listView_->SettlePending(); }

void TForm1::LoadSettingsView(int viewKey) { settingsView_->LoadSettingsView(viewKey); }

bool TForm1::SaveSettingsView() { return settingsView_->SaveSettingsView(); }

PhoneListModel* TForm1::listModel() const { return listView_->model(); }

PickerPanel* TForm1::portPicker() const { return settingsView_->portPicker(); }

void TForm1::butfindportClick() { settingsView_->butfindportClick(); }

void TForm1::ListBox1Click(QListWidgetItem* item) { settingsView_->ListBox1Click(item); }

void TForm1::closeEvent(QCloseEvent* event) {
  if (operation_) {
    // The operation is further down this very call stack, in one of the
    // link's waits: nothing can close under it. It is cancelled as "ANULUJ"
    // cancels it, closing steps included, and the close comes again when it
    // has unwound.
    closePending_ = true;
    operation_->Cancel();
    event->ignore();
    return;
  }
  closePending_ = false;
  bool mayClose = true;
  RunCommand(*this, [&] { mayClose = RunCloseStep(session_, *this, *this); });
  if (mayClose) {
    event->accept();
    emit closed();
  } else {
    event->ignore();
  }
}

// The client area has a fixed layout. On a screen it does not fit (a small
// laptop screen at 125 %), the window takes the room there is and the
// client area scrolls inside it, so the title bar and the outcome line
// never run off the screen.
void TForm1::FitInto(const QRect& available) {
  // Room for a window manager's title bar and borders, not known before the
  // window is first mapped.
  constexpr int kFrameWidth = 16;
  constexpr int kFrameHeight = 40;
  const QSize room(available.width() - kFrameWidth, available.height() - kFrameHeight);
  if (scroll_ || (room.width() >= kClientWidth && room.height() >= kClientHeight)) return;
  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("clientArea"));
  content->setFixedSize(kClientWidth, kClientHeight);
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    const QRect at = child->geometry();
    const bool shown = !child->isHidden();
    child->setParent(content);
    child->setGeometry(at);
    child->setVisible(shown);
  }
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("clientScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidget(content);
  setFixedSize(qMin(kClientWidth, room.width()), qMin(kClientHeight, room.height()));
  scroll_->setGeometry(rect());
  scroll_->show();
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
    // The offscreen platform's made-up screen is no screen anyone looks at.
    QScreen* screen = this->screen();
    if (screen && QGuiApplication::platformName() != QLatin1String("offscreen")) FitInto(screen->availableGeometry());
    if (screen) move(screen->availableGeometry().center() - rect().center());
  }
  // Some platforms never activate a window that is not focused (offscreen
  // tests, remote sessions): start-up must not depend on it.
  QTimer::singleShot(0, this, &TForm1::FormActivate);
  QWidget::showEvent(event);
}
