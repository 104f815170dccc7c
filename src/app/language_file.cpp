#include "app/language_file.h"

#include <SimpleIni.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTableView>
#include <QToolTip>
#include <QWidget>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/private_file.h"
#include "common/windows1250.h"

namespace {

// The file as INI files are on Windows: keys compared without regard to
// case when written, several lines may carry the same key, file order kept.
class LanguageFile {
 public:
  LanguageFile(const QString& path, const QString& section)
      : ini_(false, true, false), path_(QFile::encodeName(path)), section_(section.toUpper().toLatin1()) {
    ini_.SetSpaces(false);
    QFile file(QFile::decodeName(path_));
    if (!file.open(QIODevice::ReadOnly)) return;
    QByteArray bytes = file.readAll();
    // Saved as UTF-8 by a newer editor (with its mark or without), the file
    // is read so; otherwise as the Windows-1250 it was made in.
    mark_ = bytes.startsWith("\xEF\xBB\xBF");
    if (mark_) bytes.remove(0, 3);
    utf8_ = mark_ || IsUtf8Text(bytes);
    if (ini_.LoadData(bytes.constData(), size_t(bytes.size())) < 0) return;
    const CSimpleIniA::TKeyVal* entries = ini_.GetSection(section_.constData());
    if (!entries) return;
    std::vector<std::pair<int, std::pair<QByteArray, QByteArray>>> ordered;
    for (const auto& [key, value] : *entries) {
      ordered.push_back({key.nOrder, {QByteArray(key.pItem), QByteArray(value ? value : "")}});
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, line] : ordered) lines_.push_back(line);
    for (const auto& [key, value] : lines_) {
      if (!entries_.contains(key)) entries_.insert(key, value);  // the first line with the name counts
    }
  }

  bool Empty() const { return lines_.empty(); }
  QString FirstValue() const { return Decode(lines_.front().second); }

  // The entry of a component, looked up by its exact name.
  bool Find(const QString& name, QString* value) const {
    const auto it = entries_.constFind(Encode(name));
    if (it == entries_.constEnd()) return false;
    *value = Decode(*it);
    return true;
  }

  // Adds the entry at the end of the section, or replaces one whose key
  // differs only in case, in its place.
  void Write(const QString& name, const QString& text) {
    QString value = text;
    value.replace(QLatin1String("\r\n"), QLatin1String("//")).replace(u'\n', QLatin1String("//"));
    ini_.SetValue(section_.constData(), Encode(name).constData(), Encode(value).constData(), nullptr, true);
    changed_ = true;
  }

  void Save() {
    if (!changed_) return;
    std::string text;
    if (ini_.Save(text) < 0) return;
    QString cause;
    // An unwritable file leaves things as they are.
    static_cast<void>(WriteFileWhole(QFile::decodeName(path_),
                                     (mark_ ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + QByteArray::fromStdString(text),
                                     &cause));
  }

 private:
  // Valid UTF-8 with at least one character beyond ASCII: Windows-1250
  // text of Polish words is practically never that.
  static bool IsUtf8Text(const QByteArray& bytes) {
    const bool wide = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    if (!wide) return false;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder(bytes);
    return !decoder.hasError();
  }

  QByteArray Encode(const QString& text) const { return utf8_ ? text.toUtf8() : ToWindows1250(text); }

  // A value ends at its second "=" (the key's is the first), and "//"
  // stands for a line break.
  QString Decode(const QByteArray& raw) const {
    const qsizetype equals = raw.indexOf('=');
    const QByteArray part = equals < 0 ? raw : raw.left(equals);
    QString value = utf8_ ? QString::fromUtf8(part) : FromWindows1250(part);
    // Qt labels break lines at LF alone; a CR would show as a stray glyph.
    return value.replace(QLatin1String("//"), QLatin1String("\n"));
  }

  CSimpleIniA ini_;
  QByteArray path_;
  QByteArray section_;
  std::vector<std::pair<QByteArray, QByteArray>> lines_;
  QHash<QByteArray, QByteArray> entries_;
  bool changed_ = false;
  bool utf8_ = false;
  bool mark_ = false;
};

// Parts of a value split at ";", the last one without its trailing blanks.
QStringList SplitParts(const QString& value) {
  QStringList parts = value.split(u';');
  QString& last = parts.last();
  while (!last.isEmpty() && last.back().isSpace()) last.chop(1);
  return parts;
}

// A group box of radio buttons stands where a radio group would: its title
// is the caption and its buttons the items.
QList<QRadioButton*> RadioItems(QGroupBox* group) {
  return group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

void ApplyGrid(LanguageFile& file, QTableView* grid) {
  QAbstractItemModel* model = grid->model();
  if (!model) return;
  QString value;
  // An entry under the grid's own name makes it present with nothing to apply.
  if (file.Find(grid->objectName(), &value)) return;
  for (int column = 0; column < model->columnCount(); ++column) {
    const QString name = grid->objectName() + QStringLiteral("col") + QString::number(column);
    if (!file.Find(name, &value)) {
      file.Write(name, model->headerData(column, Qt::Horizontal).toString());
    } else if (!value.trimmed().isEmpty()) {
      model->setHeaderData(column, Qt::Horizontal, value);
    }
  }
}

void ApplyControl(LanguageFile& file, QWidget* control) {
  const QString name = control->objectName();
  // Qt's own inner widgets (the date picker's month and year buttons) show
  // what the moment says; a caption kept for them would freeze a date.
  if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) return;
  // Edits, memos and drop-downs keep their texts. Windows fonts would also
  // get the Central European character set here; Qt text is Unicode and the
  // file's Windows-1250 bytes are decoded on reading, so there is nothing to
  // set.
  if (auto* grid = qobject_cast<QTableView*>(control)) {
    ApplyGrid(file, grid);
    return;
  }
  QString value;
  if (auto* group = qobject_cast<QGroupBox*>(control)) {
    const QList<QRadioButton*> items = RadioItems(group);
    if (!items.isEmpty()) {
      if (!file.Find(name, &value)) {
        QString text = group->title();
        for (QRadioButton* item : items) text += u';' + item->text();
        if (!group->title().isEmpty()) file.Write(name, text);
        return;
      }
      const QStringList parts = SplitParts(value);
      group->setTitle(parts.first());
      for (int k = 0; k < items.size() && k + 1 < parts.size(); ++k) items[k]->setText(parts[k + 1]);
      return;
    }
    if (!file.Find(name, &value)) {
      if (!group->title().isEmpty()) file.Write(name, group->title());
    } else {
      group->setTitle(value);
    }
    return;
  }
  // Every control of this window has the tag 0, so labels always take their entry.
  if (auto* label = qobject_cast<QLabel*>(control)) {
    if (!file.Find(name, &value)) {
      if (!label->text().isEmpty()) file.Write(name, label->text());
    } else {
      label->setText(value);
    }
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    if (qobject_cast<QRadioButton*>(button) && qobject_cast<QGroupBox*>(button->parentWidget())) return;
    if (!file.Find(name, &value)) {
      if (!button->text().isEmpty()) file.Write(name, button->text());
    } else {
      button->setText(value);
    }
  }
}

}  // namespace

void ApplyLanguageFile(QWidget* window, const QString& path, const std::function<void()>& processEvents) {
  LanguageFile file(path, QString::fromLatin1(window->metaObject()->className()));
  if (file.Empty()) {
    // Nothing to read: every text below counts as missing and is written.
    file.Write(QStringLiteral("caption"), window->windowTitle());
  } else {
    window->setWindowTitle(file.FirstValue());  // whatever the first entry's key
  }
  bool hintFontSet = false;
  // Depth first in creation order: parents before their children.
  for (QWidget* control : window->findChildren<QWidget*>()) {
    if (control->isWindow()) continue;  // dialogs the window owns are not translated
    ApplyControl(file, control);
    if (!hintFontSet && !control->toolTip().isEmpty()) {
      QToolTip::setFont(QFont(QStringLiteral("Arial"), QToolTip::font().pointSize()));
      hintFontSet = true;
    }
    if (processEvents) processEvents();
  }
  file.Save();
}
