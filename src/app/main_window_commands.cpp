// The window's menu commands: each runs its command with a progress of its
// own (RunOperation) and tells what the command returned.

#include <QFileDialog>

#include "app/main_window.h"
#include "app/import_dialog.h"
#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/fleet.h"
#include "outcome/outcome_text.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "phonelist/sheet_reader.h"
#include "phonelist/list_view.h"
#include "serial/list_transfer.h"
#include "serial/link.h"
#include "app/settings_view.h"
#include "widgets/controls.h"

void TForm1::RunOnMarked(const std::function<Report(Progress&, const QStringList&)>& command) {
  MenuLista_->hide();
  RunOperation([&](Progress& progress) {
    const Report report = command(progress, listView_->MarkedNumbers());
    Tell(report);
  });
}

void TForm1::usun_z_listyClick() {
  RunOnMarked([this](Progress& progress, const QStringList& numbers) {
    const ListDeleteResult result = DeleteFromList(session_, progress, numbers);
    // Every mark goes, also those a cancel left unprocessed.
    if (result.stop != Stop::kDeclined) listView_->ClearMarks();
    return Describe(result);
  });
}

void TForm1::export_listClick() {
  MenuLista_->hide();
  RunOperation([this](Progress& progress) {
    const QString path = ChooseListFile(true);
    if (!path.isEmpty()) Tell(Describe(ExportList(session_, progress, path)));
  });
}

void TForm1::imp_listClick() {
  MenuLista_->hide();
  RunOperation([this](Progress& progress) {
    const QString path = ChooseListFile(false);
    if (path.isEmpty()) return;
    ImportResult result;
    result.name = path;
    QByteArray bytes;
    QString error;
    if (!ReadListFile(path, &bytes, &error)) {
      result.Fail(Stop::kFileError, error);
      Tell(Describe(result));
      return;
    }
    // The question whether to clear the list first is the dialog's choice,
    // seen with what the file brings.
    ImportDialog dialog(session_, bytes, path, this);
    if (dialog.exec() != QDialog::Accepted) {
      result.cleared = true;  // nothing changed: the list stays as it was
      result.Fail(Stop::kCancelled);
      Tell(Describe(result));
      return;
    }
    Tell(Describe(ImportPreviewed(session_, progress, dialog.preview(), dialog.clearFirst(), path)));
  });
}

QString TForm1::ChooseBackupFile(bool save) {
  if (chooseBackupFile) return chooseBackupFile(save);
  QFileDialog dialog(this);
  dialog.setObjectName(save ? QStringLiteral("SaveBackupDialog") : QStringLiteral("OpenBackupDialog"));
  dialog.setNameFilters({QString::fromUtf8("Kopie sterownika (*.txt)"), QString::fromUtf8("Wszystkie pliki (*)")});
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Unlike a list export, an older backup is not replaced without the
  // dialog's question: it may be the only copy of a controller that has
  // changed since. A restore takes only a file that is there.
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) {
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("kopia-sterownika-%1.txt").arg(session_.Today().toString(Qt::ISODate)));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

QString TForm1::ChooseListFile(bool save) {
  if (chooseListFile) return chooseListFile(save);
  QFileDialog dialog(this);
  dialog.setObjectName(save ? QStringLiteral("SaveDialog1") : QStringLiteral("OpenDialog1"));
  if (save) {
    QStringList filters;
    for (const char* filter : kExportFileFilters) filters << QString::fromUtf8(filter);
    dialog.setNameFilters(filters);
  } else {
    dialog.setNameFilter(QString::fromUtf8(kImportFileFilter));
  }
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The file is taken as named: no extension added, no overwrite question,
  // and a missing file is the import's to report.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  QString file = dialog.selectedFiles().first();
  // A name typed without an extension under a spreadsheet's filter is meant
  // as that spreadsheet: the format follows the extension.
  const qsizetype filter = dialog.nameFilters().indexOf(dialog.selectedNameFilter());
  if (save && QFileInfo(file).suffix().isEmpty() && filter > 0) file += filter == 1 ? ".csv" : ".xlsx";
  return file;
}

namespace {

// A command over the marks that got past its checks has used them up.
bool UsedTheMarks(const CommandResult& result) {
  return result.stop != Stop::kBadInput && result.stop != Stop::kPortUnavailable;
}

}  // namespace

void TForm1::zap_do_sterownikaClick() {
  RunOnMarked([this](Progress& progress, const QStringList& numbers) {
    // Every row marked is a write of the whole list from slot 002; some rows
    // are added where the controller finds room.
    const WriteMode mode = listView_->AllMarked() ? WriteMode::kWholeList : WriteMode::kAdd;
    const TransferResult result = WriteNumbers(*link_, progress, numbers, mode);
    if (UsedTheMarks(result)) listView_->ClearMarks();
    return Describe(result);
  });
}

void TForm1::usun_ze_sterownikaClick() {
  RunOnMarked([this](Progress& progress, const QStringList& numbers) {
    // Numbers gone from the controller open the gate no more: the user says
    // so first. Without marks the command itself says what is missing.
    if (!numbers.isEmpty() &&
        !progress.Ask(Question::kDeleteFromController, QString::fromUtf8(kDeleteFromControllerQuestion))) {
      return Declined();
    }
    const TransferResult result = DeleteNumbers(*link_, progress, numbers);
    if (UsedTheMarks(result)) listView_->ClearMarks();
    return Describe(result);
  });
}

void TForm1::odczytaj_z_sterownika_comClick() {
  MenuLista_->hide();
  RunOperation([this](Progress& progress) { Tell(Describe(ReadList(*link_, progress))); });
}

void TForm1::weryfikuj_przez_comClick() {
  MenuLista_->hide();
  RunOperation([this](Progress& progress) {
    const VerifyResult result = VerifyList(*link_, progress);
    const Report report = Describe(result);
    Tell(report);
    TellUnrecorded(NoteVerify(session_.Directory(), result, report.text));
  });
}

void TForm1::formatuj_memClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) { Tell(Describe(FormatMemory(*link_, progress))); });
}

void TForm1::odczyt_konfig_comClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) { Tell(Describe(ReadConfiguration(*link_, progress, *settingsView_))); });
}

void TForm1::zapis_konfig_comClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) { Tell(Describe(WriteConfiguration(*link_, progress, *settingsView_))); });
}

void TForm1::zapis_do_ser_przypomClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) { Tell(Describe(SendReminder(*link_, progress, settingsView_->Date()))); });
}

void TForm1::kopia_sterownikaClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) {
    // Nothing happens without a file.
    const QString path = ChooseBackupFile(true);
    if (path.isEmpty()) return;
    const BackupResult result = BackupController(*link_, progress, path);
    Tell(Describe(result));
    TellUnrecorded(NoteBackup(session_.Directory(), result));
  });
}

void TForm1::przywroc_z_kopiiClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) {
    const QString path = ChooseBackupFile(false);
    if (!path.isEmpty()) Tell(Describe(RestoreController(*link_, progress, path)));
  });
}

void TForm1::synchronizuj_listeClick() {
  menukonfig_->hide();
  RunOperation([this](Progress& progress) {
    // Asked between the read and the first change rather than with a dry
    // run first: that would read the whole phonebook twice.
    const SyncResult result = SyncList(*link_, progress, false, true);
    const Report report = Describe(result);
    Tell(report);
    TellUnrecorded(NoteSync(session_.Directory(), result, report.text));
  });
}
