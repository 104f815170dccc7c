#include "controller/fleet.h"

#include <QLocale>

#include "common/file_names.h"
#include "common/polish_plural.h"
#include "controller/backup.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/store_errors.h"
#include "serial/list_transfer.h"
#include "serial/port_names.h"
#include "store/cursor.h"

namespace {

QDate ParseSimDate(const QString& text) {
  for (const char* format : {"d.MM.yyyy", "d.M.yyyy", "yyyy-MM-dd"}) {
    const QDate date = QDate::fromString(text.trimmed(), QString::fromLatin1(format));
    if (date.isValid()) return date;
  }
  return QDate();
}


}  // namespace

FleetRow ReadFleetRow(const Site& site, const QDate& today) {
  FleetRow row;
  row.site = site;
  row.facts = ReadSiteFacts(site.directory);
  try {
    Session session(site.directory);
    if (QString failure = session.Create(); !failure.isEmpty()) {
      row.damage = failure;
    } else {
      store::Cursor& list = session.Dbf1();
      RequireOk(list.Settle());
      for (list.First(); !list.Eof(); list.Next()) {
        ++row.numbers;
        std::int64_t st = 0;
        if (list.GetInt("ST", &st).ok() && st != 0) ++row.confirmed;
      }
      QString value;
      if (FindSetting(session, kKeySimDate, &value)) row.simDate = ParseSimDate(value);
      if (FindSetting(session, kKeyPort, &value) && value.trimmed().toInt() > 0) {
        const int number = value.trimmed().toInt();
        row.portKey = PortDevice(session.FilePath(kSettingsFileName), number);
        row.port = QStringLiteral("COM%1 (%2)").arg(number).arg(row.portKey);
      }
    }
  } catch (const StoreError& e) {
    row.damage = QString::fromUtf8(e.what());
  }
  if (row.Damaged()) {
    row.attention << QString::fromUtf8("uszkodzony: ") + row.damage;
    return row;
  }
  if (row.simDate.isValid() && today.daysTo(row.simDate) <= kSimWarningDays) {
    row.attention << (today.daysTo(row.simDate) < 0
                          ? QString::fromUtf8("karta SIM straciła ważność %1").arg(row.simDate.toString(Qt::ISODate))
                          : QString::fromUtf8("karta SIM ważna tylko do %1").arg(row.simDate.toString(Qt::ISODate)));
  }
  if (!row.facts.lastBackup.isValid()) {
    row.attention << QString::fromUtf8("nie ma kopii sterownika");
  } else if (row.facts.lastBackup.date().daysTo(today) > kBackupWarningDays) {
    row.attention << QString::fromUtf8("ostatnia kopia sterownika ma ponad %1 dni").arg(kBackupWarningDays);
  }
  if (row.facts.verifyDifferences) {
    row.attention << QString::fromUtf8("ostatnia weryfikacja wykazała różnice");
  }
  return row;
}

QString NoteVerify(const QString& directory, const VerifyResult& result, const QString& outcome) {
  QString problem;
  if (result.stop != Stop::kNone || !result.lines.AllConfirmed()) return problem;
  RecordVerify(directory, outcome, result.missing > 0 || result.added > 0, QDateTime::currentDateTime(), &problem);
  return problem;
}

QString NoteSync(const QString& directory, const SyncResult& result, const QString& outcome) {
  QString problem;
  if (result.stop != Stop::kNone || !result.lines.AllConfirmed()) return problem;
  // A dry run found what differs; a sync that ran through left none.
  const bool differences = result.dryRun && (!result.plan.add.isEmpty() || !result.plan.remove.isEmpty());
  RecordVerify(directory, outcome, differences, QDateTime::currentDateTime(), &problem);
  return problem;
}

QString NoteBackup(const QString& directory, const BackupResult& result) {
  QString problem;
  if (result.Succeeded()) RecordBackup(directory, result.path, QDateTime::currentDateTime(), &problem);
  return problem;
}

QString FleetTime(const QDateTime& time) {
  return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

std::vector<FleetRow> ReadFleet(const QString& mainDirectory, const QDate& today) {
  std::vector<FleetRow> rows;
  for (const Site& site : ListSites(mainDirectory)) rows.push_back(ReadFleetRow(site, today));
  return rows;
}

QString FleetTable(const std::vector<FleetRow>& rows) {
  QString text = QString::fromUtf8("obiekt\tnumery\tpotwierdzone\tsim\tostatnia kopia\tostatnia weryfikacja\tport\tuwagi\n");
  for (const FleetRow& r : rows) {
    const QStringList cells = {r.site.name,
                               r.Damaged() ? QString() : QString::number(r.numbers),
                               r.Damaged() ? QString() : QString::number(r.confirmed),
                               r.simDate.isValid() ? r.simDate.toString(Qt::ISODate) : QString(),
                               FleetTime(r.facts.lastBackup),
                               r.facts.lastVerify.isValid() ? FleetTime(r.facts.lastVerify) + QStringLiteral(" ") + r.facts.lastVerifyResult
                                                            : QString(),
                               r.port,
                               r.attention.join(QStringLiteral("; "))};
    QStringList clean;
    for (QString cell : cells) clean << cell.replace(u'\t', u' ').replace(u'\n', u' ');
    text += clean.join(u'\t') + u'\n';
  }
  return text;
}

QString RemoveSiteQuestion(const FleetRow& row) {
  const QString held =
      row.Damaged() ? QString::fromUtf8("uszkodzoną bazę") : CountOf(row.numbers, "numer", "numery", "numerów");
  return QString::fromUtf8("Obiekt \"%1\" ma na liście %2. Usunąć obiekt? Jego katalog zostanie przeniesiony do "
                           "folderu \"%3\".")
      .arg(row.site.name, held, QString::fromUtf8(kRemovedSitesFolder));
}

QString RemovedSiteMessage(const QString& name, const QString& movedTo) {
  return QString::fromUtf8("Usunięto obiekt \"%1\"; jego katalog jest teraz w %2").arg(name, movedTo);
}
