#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/sites.h"

// What the fleet view asks a look for.
inline constexpr int kSimWarningDays = 30;
inline constexpr int kBackupWarningDays = 90;

// One site as the fleet view shows it.
struct FleetRow {
  Site site;
  SiteFacts facts;
  int numbers = 0;
  int confirmed = 0;  // rows the controller confirmed (ST)
  QDate simDate;
  QString port;     // "COM3", with the device behind it
  QString portKey;  // the device itself: sites with one key share a line
  QString damage;   // why the site's database could not be read; empty when it could
  QStringList attention;  // why the row needs a look (Polish); empty when none

  bool Damaged() const { return !damage.isEmpty(); }
};

// Reads one site's database and settings; a damaged one gives a row that
// says so, never an exception.
FleetRow ReadFleetRow(const Site& site, const QDate& today);
std::vector<FleetRow> ReadFleet(const QString& mainDirectory, const QDate& today);

struct BackupResult;
struct SyncResult;
struct VerifyResult;

// What a verify, a sync or a backup that ran to its end leaves in the
// site's facts; `outcome` is its outcome line. An empty text, or why the
// settings file could not take it.
QString NoteVerify(const QString& directory, const VerifyResult& result, const QString& outcome);
QString NoteSync(const QString& directory, const SyncResult& result, const QString& outcome);
QString NoteBackup(const QString& directory, const BackupResult& result);

// The question before a site is removed, naming what its list holds, and
// what is said once it is.
QString RemoveSiteQuestion(const FleetRow& row);
QString RemovedSiteMessage(const QString& name, const QString& movedTo);

// A fact's time as the fleet shows it ("2026-12-11 14:32", local); empty
// when there is none.
QString FleetTime(const QDateTime& time);

// The fleet as TAB-separated lines, a header first (the CLI's "site list").
QString FleetTable(const std::vector<FleetRow>& rows);
