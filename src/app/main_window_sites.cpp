#include <QFontMetrics>
#include <QMenu>

#include "app/main_window.h"
#include "app/site_dialogs.h"
#include "app/progress_panel.h"
#include "controller/fleet.h"
#include "widgets/controls.h"
#include "widgets/pictures.h"

namespace {

// The picker sits in the tab row's free end, as tall as a tab.
const QRect kSitePicker(873, 62, 158, 42);

}  // namespace

void TForm1::SetWorkspace(const Site& site, const QString& mainDirectory, std::function<void(const Site&)> openSite) {
  site_ = site;
  mainDirectory_ = mainDirectory;
  openSite_ = std::move(openSite);
  ShowSite();
}

void TForm1::BuildSitePicker() {
  sitePicker_ = new ClickLabel(this);
  sitePicker_->setObjectName(QStringLiteral("sitePicker"));
  sitePicker_->setGeometry(kSitePicker);
  sitePicker_->setCursor(Qt::PointingHandCursor);
  sitePicker_->setTextFormat(Qt::RichText);
  sitePicker_->setToolTip(QString::fromUtf8("Obiekt, na którym pracujesz; inne obiekty i przegląd wszystkich"));
  sitePicker_->setStyleSheet(
      QStringLiteral("QLabel { background: rgba(255,255,255,28); border: 1px solid rgba(255,255,255,70);"
                     " border-radius: 5px; padding-left: 10px; color: white; }"
                     "QLabel:hover { background: rgba(255,255,255,48); }"));
  connect(sitePicker_, &ClickLabel::clicked, this, [this] {
    QMenu* menu = BuildSiteMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(sitePicker_->mapToGlobal(QPoint(0, sitePicker_->height())));
  });
  ShowSite();
}

void TForm1::ShowSite() {
  const bool alone = site_.main && ListSites(mainDirectory_).size() == 1;
  // One gate, as before sites: nothing in the title to wonder about.
  setWindowTitle(alone ? QStringLiteral("Ostiv") : QString::fromUtf8("Ostiv — %1").arg(site_.name));
  if (!sitePicker_) return;
  const QFont font = pictures::Font(12, true);
  const QString name = QFontMetrics(font).elidedText(site_.name, Qt::ElideRight, kSitePicker.width() - 40);
  sitePicker_->setFont(font);
  sitePicker_->setText(QString::fromUtf8("<span style='font-size:8pt; color:rgb(250,192,23);'>OBIEKT</span><br>"
                                         "%1&nbsp;&nbsp;▾")
                           .arg(name.toHtmlEscaped()));
  sitePicker_->setAccessibleName(QString::fromUtf8("Obiekt: %1").arg(site_.name));
}

QMenu* TForm1::BuildSiteMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("siteMenu"));
  const std::vector<Site> sites = ListSites(mainDirectory_);
  // Sites but the current one and the main one: those can be renamed and
  // removed (the current one is open here, the main one is the program's).
  std::vector<Site> others;
  for (const Site& site : sites) {
    QAction* open = menu->addAction(site.name, this, [this, name = site.name] { SwitchSiteClick(name); });
    open->setCheckable(true);
    open->setChecked(site.directory == site_.directory);
    open->setEnabled(bool(openSite_) || open->isChecked());
    if (!site.main && site.directory != site_.directory) others.push_back(site);
  }
  menu->addSeparator();
  menu->addAction(QString::fromUtf8("OBIEKTY — przegląd wszystkich…"), this, &TForm1::FleetClick);
  menu->addAction(QString::fromUtf8("Dodaj obiekt…"), this, &TForm1::AddSiteClick);
  QMenu* rename = menu->addMenu(QString::fromUtf8("Zmień nazwę obiektu"));
  QMenu* remove = menu->addMenu(QString::fromUtf8("Usuń obiekt"));
  for (const Site& site : others) {
    rename->addAction(site.name, this, [this, name = site.name] { RenameSiteClick(name); });
    remove->addAction(site.name, this, [this, name = site.name] { RemoveSiteClick(name); });
  }
  const QString why = QString::fromUtf8("Obiektu, na którym pracujesz, ani obiektu \"%1\" nie można tu zmienić")
                          .arg(QString::fromUtf8(kMainSiteName));
  for (QMenu* sub : {rename, remove}) {
    sub->setEnabled(!others.empty());
    sub->menuAction()->setToolTip(why);
  }
  menu->setToolTipsVisible(true);
  return menu;
}

void TForm1::SwitchSiteClick(const QString& name) {
  Site site;
  if (!FindSite(mainDirectory_, name, &site)) {
    ShowError(UnknownSiteMessage(mainDirectory_, name));
    return;
  }
  if (site.directory == site_.directory || !openSite_) return;
  // A command further down the stack still talks to this site's controller.
  if (operation_) {
    ShowNotice(QString::fromUtf8(kBusyMessage));
    return;
  }
  openSite_(site);
}

void TForm1::AddSiteClick() {
  const std::optional<SiteDraft> draft = askNewSite ? askNewSite() : AskNewSite(this, mainDirectory_, site_.name);
  if (!draft) return;
  const QString problem = AddSite(mainDirectory_, draft->name, draft->notes, draft->copySettings ? &site_ : nullptr);
  if (!problem.isEmpty()) {
    ShowError(problem);
    return;
  }
  ShowSite();
  ShowOutcome(QString::fromUtf8("Dodano obiekt \"%1\"; wybierz go w polu OBIEKT, aby na nim pracować.")
                  .arg(draft->name));
}

void TForm1::RenameSiteClick(const QString& name) {
  const std::optional<QString> to = askSiteName ? askSiteName(name) : AskSiteName(this, mainDirectory_, name);
  if (!to) return;
  const QString problem = RenameSite(mainDirectory_, name, *to);
  if (!problem.isEmpty()) {
    ShowError(problem);
    return;
  }
  ShowOutcome(QString::fromUtf8("Zmieniono nazwę obiektu \"%1\" na \"%2\"").arg(name, *to));
}

void TForm1::RemoveSiteClick(const QString& name) {
  Site site;
  if (!FindSite(mainDirectory_, name, &site)) {
    ShowError(UnknownSiteMessage(mainDirectory_, name));
    return;
  }
  if (site.directory == site_.directory) {
    ShowNotice(QString::fromUtf8("Aby usunąć obiekt \"%1\", przejdź najpierw do innego obiektu.").arg(site.name));
    return;
  }
  if (!site.main && !Ask(Question::kRemoveSite, RemoveSiteQuestion(ReadFleetRow(site, session_.Today())))) {
    ShowOutcome(QString::fromUtf8("Obiekt \"%1\" pozostaje bez zmian.").arg(site.name));
    return;
  }
  QString movedTo;
  const QString problem = RemoveSite(mainDirectory_, site.name, &movedTo);
  if (!problem.isEmpty()) {
    ShowError(problem);
    return;
  }
  ShowSite();
  ShowOutcome(RemovedSiteMessage(site.name, movedTo));
}

void TForm1::FleetClick() {
  FleetDialog dialog(ReadFleet(mainDirectory_, session_.Today()), site_.name, this);
  if (dialog.exec() == QDialog::Accepted && !dialog.chosen().isEmpty()) SwitchSiteClick(dialog.chosen());
}

void TForm1::TellUnrecorded(const QString& problem) {
  if (!problem.isEmpty()) ShowNotice(problem);
}
