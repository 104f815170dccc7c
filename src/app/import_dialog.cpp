#include "app/import_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/polish_plural.h"
#include "core/session.h"
#include "phonelist/sheet_reader.h"

namespace {

const QChar kSeparators[] = {u';', u',', u'\t', u'|'};
const ListFileEncoding kEncodings[] = {ListFileEncoding::kWindows1250, ListFileEncoding::kUtf8,
                                       ListFileEncoding::kUtf16LE, ListFileEncoding::kUtf16BE};

// Green for a line taken, yellow for one taken with a warning or left out
// as already there, red for one the file has wrong.
QColor VerdictColour(LineVerdict verdict) {
  switch (verdict) {
    case LineVerdict::kOk: return QColor(0xd6, 0xf0, 0xd6);
    case LineVerdict::kNameCut:
    case LineVerdict::kOnList:
    case LineVerdict::kDuplicate: return QColor(0xfb, 0xf0, 0xbe);
    case LineVerdict::kExcelNumber:
    case LineVerdict::kInvalidNumber:
    case LineVerdict::kBadCharacter: return QColor(0xf6, 0xcc, 0xcc);
    case LineVerdict::kBlank:
    case LineVerdict::kHeader: break;
  }
  return QColor();
}

QString OneLine(const QString& text) {
  QString out = text;
  out.replace(u'\n', u' ').replace(u'\t', u' ').replace(u'\r', u' ');
  return out;
}

}  // namespace

ImportDialog::ImportDialog(Session& session, const QByteArray& bytes, const QString& name, QWidget* parent)
    : QDialog(parent), bytes_(bytes), name_(name), country_(session.countryCode()), listed_(ListedSubscribers(session)) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(QString::fromUtf8("Import listy telefonów"));
  resize(860, 560);

  formatLabel_ = new QLabel(this);
  formatLabel_->setObjectName(QStringLiteral("formatLabel"));
  separatorBox_ = new QComboBox(this);
  separatorBox_->setObjectName(QStringLiteral("separatorBox"));
  for (const QChar s : kSeparators) separatorBox_->addItem(SeparatorName(s), QVariant(s));
  encodingBox_ = new QComboBox(this);
  encodingBox_->setObjectName(QStringLiteral("encodingBox"));
  for (const ListFileEncoding e : kEncodings) encodingBox_->addItem(EncodingName(e), int(e));
  const char* columnNames[] = {"firstNameColumn", "surnameColumn", "phoneColumn"};
  for (int i = 0; i < 3; ++i) {
    columnBoxes_[i] = new QComboBox(this);
    columnBoxes_[i]->setObjectName(QString::fromLatin1(columnNames[i]));
  }
  auto* read = new QFormLayout;
  read->addRow(QString::fromUtf8("Plik:"), formatLabel_);
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(new QLabel(QString::fromUtf8("Separator:"), this));
  textRow->addWidget(separatorBox_);
  textRow->addSpacing(16);
  textRow->addWidget(new QLabel(QString::fromUtf8("Kodowanie:"), this));
  textRow->addWidget(encodingBox_);
  textRow->addStretch();
  read->addRow(QString(), textRow);
  auto* columnsRow = new QHBoxLayout;
  const char* columnLabels[] = {"Imię:", "Nazwisko:", "Telefon:"};
  for (int i = 0; i < 3; ++i) {
    columnsRow->addWidget(new QLabel(QString::fromUtf8(columnLabels[i]), this));
    columnsRow->addWidget(columnBoxes_[i]);
    columnsRow->addSpacing(12);
  }
  columnsRow->addStretch();
  read->addRow(QString::fromUtf8("Kolumny:"), columnsRow);

  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("linesTable"));
  table_->setColumnCount(6);
  table_->setHorizontalHeaderLabels({QString::fromUtf8("Wiersz"), QString::fromUtf8("Wynik"), QString::fromUtf8("Imię"),
                                     QString::fromUtf8("Nazwisko"), QString::fromUtf8("Telefon"), QString::fromUtf8("Powód")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);

  countsLabel_ = new QLabel(this);
  countsLabel_->setObjectName(QStringLiteral("countsLabel"));
  countsLabel_->setWordWrap(true);
  clearBox_ = new QCheckBox(QString::fromUtf8("Usuń listę telefonów przed importem"), this);
  clearBox_->setObjectName(QStringLiteral("clearFirst"));
  importButton_ = new QPushButton(this);
  importButton_->setObjectName(QStringLiteral("importButton"));
  importButton_->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("ANULUJ"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clearBox_);
  buttons->addStretch();
  buttons->addWidget(importButton_);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(read);
  layout->addWidget(table_, 1);
  layout->addWidget(countsLabel_);
  layout->addLayout(buttons);

  connect(importButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(clearBox_, &QCheckBox::toggled, this, [this] { Rejudge(); });
  auto reread = [this] {
    if (filling_) return;
    columnsGiven_ = false;
    Reread();
  };
  connect(separatorBox_, &QComboBox::currentIndexChanged, this, reread);
  connect(encodingBox_, &QComboBox::currentIndexChanged, this, reread);
  for (QComboBox* box : columnBoxes_) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] {
      if (filling_) return;
      columnsGiven_ = true;
      Rejudge();
    });
  }
  // What the file says of itself first; the boxes then show it.
  sheet_ = ReadSheet(bytes_, name_);
  filling_ = true;
  separatorBox_->setCurrentIndex(qMax(0, separatorBox_->findData(QVariant(sheet_.separator.isNull() ? QChar(u';') : sheet_.separator))));
  encodingBox_->setCurrentIndex(qMax(0, encodingBox_->findData(int(sheet_.encoding))));
  filling_ = false;
  Rejudge();
}

bool ImportDialog::clearFirst() const { return clearBox_->isChecked(); }

void ImportDialog::Reread() {
  SheetOptions options;
  options.separator = separatorBox_->currentData().value<QChar>();
  options.encoding = ListFileEncoding(encodingBox_->currentData().toInt());
  sheet_ = ReadSheet(bytes_, name_, options);
  Rejudge();
}

void ImportDialog::Rejudge() {
  std::optional<ColumnMap> given;
  if (columnsGiven_) {
    ColumnMap map;
    int* columns[] = {&map.firstName, &map.surname, &map.phone};
    for (int i = 0; i < 3; ++i) *columns[i] = columnBoxes_[i]->currentData().toInt();
    given = map;
  }
  preview_ = PreviewImport(sheet_, given, clearFirst() ? QSet<QString>() : listed_, country_);
  const bool text = preview_.sheet.IsText();
  formatLabel_->setText(name_ + QStringLiteral(" · ") + SheetFormatName(preview_.sheet.format) +
                        (preview_.header ? QString::fromUtf8(" · pierwszy wiersz to nagłówek") : QString()));
  separatorBox_->setEnabled(text);
  encodingBox_->setEnabled(text);
  FillColumns();
  FillTable();
  const int taken = preview_.counts.Taken();
  countsLabel_->setText(preview_.error.isEmpty() ? VerdictSummary(preview_.counts) : preview_.error);
  importButton_->setText(QString::fromUtf8("IMPORTUJ ") + CountOf(taken, "NUMER", "NUMERY", "NUMERÓW"));
  importButton_->setEnabled(taken > 0 && preview_.error.isEmpty());
}

void ImportDialog::FillColumns() {
  filling_ = true;
  const int* mapped[] = {&preview_.columns.firstName, &preview_.columns.surname, &preview_.columns.phone};
  for (int i = 0; i < 3; ++i) {
    QComboBox* box = columnBoxes_[i];
    box->clear();
    box->addItem(QString::fromUtf8("—"), -1);
    for (int c = 0; c < preview_.columnNames.size(); ++c) box->addItem(preview_.columnNames[c], c);
    box->setCurrentIndex(qMax(0, box->findData(*mapped[i])));
  }
  filling_ = false;
}

void ImportDialog::FillTable() {
  table_->setUpdatesEnabled(false);
  table_->setRowCount(int(preview_.lines.size()));
  int row = 0;
  for (const PreviewLine& line : preview_.lines) {
    const QString cells[] = {QString::number(line.line), VerdictLabel(line.verdict),  OneLine(line.firstName),
                             OneLine(line.surname),       OneLine(line.phone),          line.reason};
    const QColor colour = VerdictColour(line.verdict);
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (colour.isValid()) {
        item->setBackground(colour);
        item->setForeground(Qt::black);
      } else {
        item->setForeground(Qt::gray);
      }
      if (c == 5) item->setToolTip(line.reason);
      if (c == 1) item->setToolTip(QString::fromLatin1(VerdictCode(line.verdict)));
      table_->setItem(row, c, item);
    }
    ++row;
  }
  table_->resizeColumnsToContents();
  table_->setUpdatesEnabled(true);
}
