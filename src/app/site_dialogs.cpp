#include "app/site_dialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString When(const QDateTime& time) { return time.isValid() ? FleetTime(time) : QStringLiteral("—"); }

// The name box, the line under it that says what is wrong with the name,
// and the two buttons; `extra` rows go between the name and the buttons.
struct NameForm {
  QLineEdit* name;
  QLabel* problem;
  QPushButton* ok;
  QFormLayout* form;
};

// `own` is the directory of the site being renamed, empty for a new one.
NameForm BuildNameForm(QDialog& dialog, const QString& mainDirectory, const QString& ownName, const QString& own,
                       const QString& okText) {
  NameForm f;
  f.name = new QLineEdit(&dialog);
  f.name->setObjectName(QStringLiteral("siteName"));
  f.name->setMaxLength(kSiteNameLength + 20);  // room to see the name is too long
  f.problem = new QLabel(&dialog);
  f.problem->setObjectName(QStringLiteral("siteNameProblem"));
  f.problem->setStyleSheet(QStringLiteral("color: rgb(178,24,24);"));
  f.problem->setWordWrap(true);
  f.ok = new QPushButton(okText, &dialog);
  f.ok->setObjectName(QStringLiteral("okButton"));
  f.ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ANULUJ"), &dialog);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  f.form = new QFormLayout;
  f.form->addRow(QString::fromUtf8("Nazwa obiektu"), f.name);
  f.form->addRow(QString(), f.problem);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(f.ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(f.form);
  layout->addStretch(1);
  layout->addLayout(buttons);
  const auto check = [f, mainDirectory, ownName, own] {
    const QString problem = NewSiteNameProblem(mainDirectory, f.name->text(), own);
    // An empty box is no mistake yet: the button just waits for a name.
    f.problem->setText(f.name->text().isEmpty() ? QString() : problem);
    f.ok->setEnabled(problem.isEmpty() && f.name->text() != ownName);
  };
  QObject::connect(f.name, &QLineEdit::textChanged, &dialog, check);
  QObject::connect(f.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  check();
  return f;
}

}  // namespace

std::optional<SiteDraft> AskNewSite(QWidget* parent, const QString& mainDirectory, const QString& currentName) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("AddSiteDialog"));
  dialog.setWindowTitle(QString::fromUtf8("Nowy obiekt"));
  dialog.resize(480, 220);
  const NameForm f = BuildNameForm(dialog, mainDirectory, QString(), QString(), QString::fromUtf8("DODAJ OBIEKT"));
  auto* notes = new QLineEdit(&dialog);
  notes->setObjectName(QStringLiteral("siteNotes"));
  notes->setPlaceholderText(QString::fromUtf8("adres, uwagi (nieobowiązkowe)"));
  f.form->insertRow(2, QString::fromUtf8("Uwagi"), notes);
  auto* copy = new QCheckBox(
      QString::fromUtf8("Ustawienia jak w obiekcie \"%1\" (port, czas przekaźnika, telefon administratora)")
          .arg(currentName),
      &dialog);
  copy->setObjectName(QStringLiteral("copySettings"));
  f.form->insertRow(3, QString(), copy);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return SiteDraft{f.name->text(), notes->text().trimmed(), copy->isChecked()};
}

std::optional<QString> AskSiteName(QWidget* parent, const QString& mainDirectory, const QString& name) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("RenameSiteDialog"));
  dialog.setWindowTitle(QString::fromUtf8("Zmiana nazwy obiektu \"%1\"").arg(name));
  dialog.resize(420, 150);
  Site site;
  FindSite(mainDirectory, name, &site);
  const NameForm f = BuildNameForm(dialog, mainDirectory, name, site.directory, QString::fromUtf8("ZMIEŃ NAZWĘ"));
  f.name->setText(name);
  f.name->selectAll();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return f.name->text();
}

FleetDialog::FleetDialog(const std::vector<FleetRow>& rows, const QString& currentName, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FleetDialog"));
  setWindowTitle(QString::fromUtf8("OBIEKTY"));
  resize(900, 420);
  const QStringList headings = {QString::fromUtf8("Obiekt"),       QString::fromUtf8("Numery"),
                                QString::fromUtf8("Potwierdzone"), QString::fromUtf8("Ważność SIM"),
                                QString::fromUtf8("Ostatnia kopia"), QString::fromUtf8("Ostatnia weryfikacja"),
                                QString::fromUtf8("Port")};
  table_ = new QTableWidget(int(rows.size()), headings.size(), this);
  table_->setObjectName(QStringLiteral("fleetTable"));
  table_->setHorizontalHeaderLabels(headings);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  for (int r = 0; r < int(rows.size()); ++r) {
    const FleetRow& row = rows[size_t(r)];
    QString verify = When(row.facts.lastVerify);
    if (!row.facts.lastVerifyResult.isEmpty()) verify += QStringLiteral(" · ") + row.facts.lastVerifyResult;
    const QStringList cells =
        row.Damaged()
            ? QStringList{row.site.name, QString::fromUtf8("uszkodzony"), QString(), QString(), QString(), QString(),
                          QString()}
            : QStringList{row.site.name,
                          QString::number(row.numbers),
                          QString::number(row.confirmed),
                          row.simDate.isValid() ? row.simDate.toString(Qt::ISODate) : QStringLiteral("—"),
                          When(row.facts.lastBackup),
                          verify,
                          row.port.isEmpty() ? QStringLiteral("—") : row.port};
    const QString tip = row.attention.join(u'\n');
    const QColor colour = row.Damaged()             ? QColor(0xf6, 0xcc, 0xcc)
                          : !row.attention.isEmpty() ? QColor(0xfb, 0xf0, 0xbe)
                                                     : QColor();
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (colour.isValid()) item->setBackground(colour);
      if (!tip.isEmpty()) item->setToolTip(tip);
      if (c == 0 && row.site.name == currentName) {
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
      }
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();

  auto* legend = new QLabel(
      QString::fromUtf8("Na żółto: do sprawdzenia (SIM ważna najwyżej %1 dni, kopia starsza niż %2 dni albo jej "
                        "brak, różnice przy weryfikacji). Powód w podpowiedzi wiersza.")
          .arg(kSimWarningDays)
          .arg(kBackupWarningDays),
      this);
  legend->setWordWrap(true);
  auto* go = new QPushButton(QString::fromUtf8("PRZEJDŹ DO OBIEKTU"), this);
  go->setObjectName(QStringLiteral("goButton"));
  go->setEnabled(false);
  auto* close = new QPushButton(QString::fromUtf8("ZAMKNIJ"), this);
  close->setObjectName(QStringLiteral("closeButton"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(go);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addWidget(legend);
  layout->addLayout(buttons);

  const auto pick = [this] {
    const int r = table_->currentRow();
    if (r < 0) return;
    chosen_ = table_->item(r, 0)->text();
    accept();
  };
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this, go] { go->setEnabled(!table_->selectedItems().isEmpty()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, pick);
  connect(go, &QPushButton::clicked, this, pick);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}
