#include "phonelist/list_file.h"

#include <QFile>
#include <QSaveFile>

#include "common/polish_plural.h"
#include "common/windows1250.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "phonelist/list_commands.h"
#include "store/cursor.h"

namespace {

QString FileError(const char* what, const QString& path, const QString& detail) {
  return QString::fromUtf8(what).arg(path, detail);
}

constexpr const char* kCannotRead = "Nie można odczytać pliku \"%1\": %2";
constexpr const char* kCannotWrite = "Nie można zapisać pliku \"%1\": %2";

}  // namespace

ListLine SplitListLine(std::string_view line) {
  ListLine out;
  std::string_view rest = line;
  const size_t first = line.find('|');
  if (first != std::string_view::npos) {
    out.firstName = std::string(line.substr(0, first));
    rest = line.substr(first + 1);
  }
  const size_t second = rest.find('|');
  if (second != std::string_view::npos) {
    out.surname = std::string(rest.substr(0, second));
    rest = rest.substr(second + 1);
  }
  out.phone = std::string(rest);
  return out;
}

std::vector<std::string> SplitListFileLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
    if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
  }
  return lines;
}

bool ReadListFile(const QString& path, std::vector<std::string>* lines, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = FileError(kCannotRead, path, file.errorString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    *error = FileError(kCannotRead, path, file.errorString());
    return false;
  }
  *lines = SplitListFileLines(std::string_view(bytes.constData(), size_t(bytes.size())));
  return true;
}

void ExportList(Session& session, UserInterface& ui, const QString& path) {
  store::Cursor& list = session.Dbf1();
  QByteArray text;
  ProgressScope progress(session, ui);
  {
    ListUpdatesSuspended still(session, ui);
    RequireOk(list.Settle());
    list.First();
    int counter = 1;
    while (!list.Eof() && !session.CancelRequested) {
      progress.Update(counter, list.RowCount());
      ++counter;
      text += list.Text("Imie");
      text += '|';
      text += list.Text("Nazwisko");
      text += '|';
      text += list.Text("Tel");
      text += "\r\n";
      list.Next();
      ui.ProcessEvents();
    }
  }
  // All or nothing: a failed write leaves any older file of that name whole.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    ui.ShowError(FileError(kCannotWrite, path, file.errorString()));
  }
}

void ImportList(Session& session, UserInterface& ui, const QString& path) {
  const bool clearFirst = ui.ShowDialog(QString::fromUtf8(kImportClearQuestion), kQuestion) == 1;
  std::vector<std::string> lines;
  QString error;
  if (!ReadListFile(path, &lines, &error)) {
    ui.ShowError(error);
    return;
  }

  store::Cursor& list = session.Dbf1();
  int taken = 0;
  int skipped = 0;
  ProgressScope progress(session, ui);
  {
    ListUpdatesSuspended still(session, ui);
    RequireOk(list.Settle());
    if (clearFirst) {
      list.First();
      const int total = list.RowCount();
      int counter = 1;
      while (!list.Eof() && !session.CancelRequested) {
        progress.Update(counter, total);
        ++counter;
        RequireOk(list.Delete());
        ui.ProcessEvents();
      }
    }
    // A cancel of the clearing stops the clearing only; the file still goes in.
    session.CancelRequested = false;
    ui.ShowProgress();
    const int count = int(lines.size());
    // The rows go in as groups, a flush per group rather than per row; the
    // last one is on disk when the loop ends, and a failure that throws
    // still keeps every row posted before it.
    store::AppendGroup group(list);
    for (int i = 0; i < count && !session.CancelRequested; ++i) {
      progress.Update(i, count);
      const std::string& text = lines[size_t(i)];
      // A line with nothing on it is no entry, and not worth a word.
      if (!text.empty()) {
        const ListLine line = SplitListLine(text);
        QString number;
        if (NormalisePhoneNumber(FromWindows1250(QByteArray::fromStdString(line.phone)), kAnyPhoneLength, &number)) {
          RequireOk(list.Append());
          RequireOk(list.SetText("Imie", line.firstName));
          RequireOk(list.SetText("Nazwisko", line.surname));
          RequireOk(list.SetText("Tel", number.toStdString()));
          // A number already listed is dropped without a word; a failing file is not.
          if (PostRow(list)) ++taken;
        } else {
          ++skipped;
        }
      }
      ui.ProcessEvents();
    }
    RequireOk(group.Finish());
  }
  list.First();
  const QString summary = QString::fromUtf8(kImportedMessage) + CountOf(taken, "numer", "numery", "numerów");
  if (skipped == 0) {
    ui.ShowOutcome(summary);
  } else {
    // Lines left out are news the user has to act on, not a plain outcome.
    ui.ShowDialog(summary + QString::fromUtf8(kSkippedMessage).arg(CountOf(skipped, "wiersz", "wiersze", "wierszy")),
                  kNotice);
  }
}
