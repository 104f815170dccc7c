#pragma once

#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "core/result.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "serial/list_transfer.h"

// What each command's result says, in the user's words, and whether it did
// what it was asked: the one place both front ends take their outcome texts
// from. The window shows the words on its outcome line or in a notice, the
// command line on standard error with an exit status by the verdict.

// "Sterownik nie potwierdził 3 z 120 poleceń (odrzucone: 1, bez odpowiedzi: 2)".
QString UnconfirmedMessage(const LineTally& tally);

// The words of an import's skipped lines: "2 wiersze z niepoprawnym numerem
// telefonu i 1 wiersz z brakującym polem"; empty when none was skipped.
QString SkippedLinesText(const ImportResult& result);

// A go-ahead question answered NIE: the line under the views says that
// nothing was done, so no older command's news stands there.
inline constexpr const char* kDeclinedSummary = "Nic nie zrobiono: odpowiedziano NIE";
Report Declined();

Report Describe(const TransferResult& result);
Report Describe(const ReadResult& result);
Report Describe(const VerifyResult& result);
Report Describe(const FormatResult& result);
Report Describe(const ConfigReadResult& result);
Report Describe(const ConfigWriteResult& result);
Report Describe(const ReminderResult& result);
Report Describe(const EventsResult& result);
Report Describe(const ImportResult& result);
Report Describe(const ExportResult& result);
Report Describe(const ListDeleteResult& result);
Report Describe(const BackupResult& result);
Report Describe(const RestoreResult& result);
Report Describe(const SyncResult& result);
