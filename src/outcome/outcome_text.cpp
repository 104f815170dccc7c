#include "outcome/outcome_text.h"

#include <QDir>

#include "common/polish_plural.h"
#include "common/slot_text.h"
#include "serial/link.h"

namespace {

QString Numbers(int n) { return CountOf(n, "numer", "numery", "numerów"); }
// After "z": "1 z 2 numerów", "3 z 1 numeru".
QString OfNumbers(int n) {
  return QString::number(n) + (n == 1 ? QString::fromUtf8(" numeru") : QString::fromUtf8(" numerów"));
}
QString Lines(int n) { return CountOf(n, "wiersz", "wiersze", "wierszy"); }

Report Done(const QString& text) { return Report{Verdict::kDone, text, QString()}; }
Report Stopped(const QString& text) { return Report{Verdict::kStopped, text, QString()}; }
Report Failed(const QString& text, const QString& summary = QString()) {
  return Report{Verdict::kFailed, text, summary};
}

// The words for an end every command may come to before its own: no port,
// a refused input, a lost or silent line, NIE to its question. False when
// the result came to its own end (done, or with lines not confirmed).
bool CommonStop(const CommandResult& result, Report* report) {
  switch (result.stop) {
    case Stop::kNone:
    case Stop::kCancelled: return false;
    case Stop::kDeclined: *report = Report{Verdict::kDeclined, QString(), QString()}; return true;
    case Stop::kBadInput:
    case Stop::kPortUnavailable:
    case Stop::kFileError: *report = Failed(result.problem); return true;
    case Stop::kRefused: *report = Failed(QString::fromUtf8(kRefusedMessage).arg(result.problem)); return true;
    case Stop::kPortLost:
    case Stop::kSilent:
      // A command that sent lines says which of them failed.
      if (result.lines.AllConfirmed()) {
        *report = Failed(QString::fromUtf8(result.stop == Stop::kPortLost ? kPortLostMessage : kCommunicationError));
        return true;
      }
      return false;
  }
  return false;
}

// A command that sent lines one after the other: `done` when every line was
// confirmed; otherwise what failed, after what became of the line.
Report ByTally(const CommandResult& result, const QString& done) {
  const LineTally& lines = result.lines;
  if (lines.AllConfirmed() && result.stop != Stop::kPortLost && result.stop != Stop::kSilent) return Done(done);
  QString head;
  if (result.stop == Stop::kPortLost || lines.PortLost()) {
    head = QString::fromUtf8(kPortLostMessage) + QStringLiteral(". ");
  } else if (result.stop == Stop::kSilent || lines.LineDead()) {
    head = QString::fromUtf8(kCommunicationError) + QStringLiteral(": ");
  }
  return Failed(head + UnconfirmedMessage(lines));
}

// A command stopped by the user: what it had done by then, unless a line
// also failed, which is the news that matters more.
Report StoppedOrTally(const CommandResult& result, const QString& stopped) {
  if (result.lines.AllConfirmed()) return Stopped(stopped);
  return ByTally(result, QString());
}

QString PastHole(const ScanResult& result) {
  if (result.holeSlot == 0) return QString();
  return QString::fromUtf8(". Za pustym miejscem %1 sterownik ma jeszcze %2")
      .arg(SlotText(result.holeSlot), Numbers(result.pastHole));
}

Report WithSummary(Report report, const char* summary) {
  if (report.verdict == Verdict::kFailed || report.verdict == Verdict::kDeclined) {
    report.summary = QString::fromUtf8(summary);
  }
  return report;
}

}  // namespace

QString UnconfirmedMessage(const LineTally& tally) {
  // A value that never left is no better than a refused one to the user.
  const int refused = tally.refused() + tally.notSent();
  const int failed = refused + tally.unanswered();
  const QString head =
      tally.total() == 1
          ? QString::fromUtf8("Sterownik nie potwierdził polecenia")
          : QString::fromUtf8("Sterownik nie potwierdził %1 z %2 poleceń").arg(failed).arg(tally.total());
  return head + QString::fromUtf8(" (odrzucone: %1, bez odpowiedzi: %2)").arg(refused).arg(tally.unanswered());
}

QString SkippedLinesText(const ImportResult& result) {
  const std::pair<int, const char*> reasons[] = {
      {result.badNumber, " z niepoprawnym numerem telefonu"},
      {result.missingField, " z brakującym polem"},
      {result.badCharacter, " z niedozwolonym znakiem"},
  };
  QStringList parts;
  for (const auto& [count, why] : reasons) {
    if (count > 0) parts << Lines(count) + QString::fromUtf8(why);
  }
  if (parts.size() <= 1) return parts.value(0);
  const QString last = parts.takeLast();
  return parts.join(QStringLiteral(", ")) + QStringLiteral(" i ") + last;
}

Report Describe(const TransferResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  const bool remove = result.kind == TransferResult::Kind::kDelete;
  if (result.stop == Stop::kCancelled) {
    return StoppedOrTally(result, remove ? QString::fromUtf8("Przerwano usuwanie: usunięto ze sterownika %1 z %2")
                                               .arg(result.done)
                                               .arg(OfNumbers(result.asked))
                                         : QString::fromUtf8("Przerwano zapis: zapisano w sterowniku %1 z %2")
                                               .arg(result.done)
                                               .arg(OfNumbers(result.asked)));
  }
  return ByTally(result,
                 (remove ? QString::fromUtf8("Usunięto ze sterownika ") : QString::fromUtf8("Zapisano w sterowniku ")) +
                     Numbers(result.done));
}

Report Describe(const ReadResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  const QString read = CountOf(result.entries, "wpis", "wpisy", "wpisów");
  if (result.stop == Stop::kCancelled)
    return Stopped(QString::fromUtf8("Przerwano odczyt: odczytano ze sterownika ") + read);
  return Done(QString::fromUtf8("Odczytano ze sterownika ") + read + PastHole(result));
}

Report Describe(const VerifyResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  const QString counts = QString::fromUtf8(
                             "potwierdzone w sterowniku %1, brak w sterowniku %2, tylko w sterowniku %3 "
                             "(dopisane do listy)")
                             .arg(result.confirmed)
                             .arg(result.missing)
                             .arg(result.added);
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Weryfikacja przerwana: ") + counts);
  return Done(QString::fromUtf8("Weryfikacja zakończona: ") + counts + PastHole(result));
}

Report Describe(const FormatResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  const QString cleared = CountOf(result.lines.confirmed(), "miejsce", "miejsca", "miejsc");
  if (result.stop == Stop::kCancelled) {
    return StoppedOrTally(result, QString::fromUtf8("Przerwano formatowanie: wyczyszczono ") + cleared);
  }
  return ByTally(result, QString::fromUtf8("Wyczyszczono pamięć sterownika: ") + cleared);
}

Report Describe(const ConfigReadResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  // A controller that said nothing at all has given the view nothing new;
  // one that answered in part has given it part: the user must know which.
  if (result.stop == Stop::kSilent) return Failed(QString::fromUtf8(kCommunicationError));
  if (!result.lines.AllConfirmed()) return Failed(UnconfirmedMessage(result.lines));
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Przerwano odczyt konfiguracji"));
  return Done(QString());
}

Report Describe(const ConfigWriteResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  return ByTally(result, QString::fromUtf8("Zapisano konfigurację w sterowniku"));
}

Report Describe(const ReminderResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  return ByTally(result, QString::fromUtf8("Zapisano w sterowniku przypomnienie o ważności karty SIM"));
}

Report Describe(const EventsResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  if (result.stop == Stop::kCancelled) {
    return Stopped(QString::fromUtf8("Przerwano pobieranie wpisów: pobrano ") +
                   CountOf(result.received, "wpis", "wpisy", "wpisów"));
  }
  return Done(QString());
}

Report Describe(const ImportResult& result) {
  const QString unchanged = QString::fromUtf8(". Lista pozostaje bez zmian.");
  switch (result.refusal) {
    case ImportResult::Refusal::kNoRows: {
      QString text = QString::fromUtf8("Plik \"%1\" nie zawiera żadnego wiersza do zaimportowania").arg(result.name);
      if (result.Skipped() > 0) text += QStringLiteral(" (pominięto ") + SkippedLinesText(result) + u')';
      return Failed(text + unchanged);
    }
    case ImportResult::Refusal::kStrict:
      return Failed(QString::fromUtf8("Nic nie zaimportowano: plik \"%1\" ma %2 (pierwszy to wiersz %3)")
                        .arg(result.name, SkippedLinesText(result), QString::number(result.firstSkippedLine)) +
                    unchanged);
    case ImportResult::Refusal::kNone: break;
  }
  Report report;
  if (CommonStop(result, &report)) return report;
  QString summary = QString::fromUtf8("Zaimportowano ") + Numbers(result.taken);
  if (result.Skipped() > 0) summary += QString::fromUtf8(", pominięto %1").arg(SkippedLinesText(result));
  if (result.namesCut > 0) {
    summary += QString::fromUtf8("; skrócono za długie imię lub nazwisko w %1")
                   .arg(QString::number(result.namesCut) +
                        (result.namesCut == 1 ? QStringLiteral(" wierszu") : QStringLiteral(" wierszach")));
  }
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Przerwano import: ") + summary);
  // Lines left out or cut are news the user has to act on, not a plain outcome.
  if (result.Skipped() > 0 || result.namesCut > 0) return Report{Verdict::kWarning, summary, QString()};
  return Done(summary);
}

Report Describe(const ExportResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Przerwano eksport: pliku nie zapisano"));
  return Done(QString::fromUtf8("Wyeksportowano %1 do pliku %2")
                  .arg(Numbers(result.written), QDir::toNativeSeparators(result.path)));
}

Report Describe(const ListDeleteResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  if (result.stop == Stop::kCancelled) {
    return Stopped(QString::fromUtf8("Przerwano usuwanie: usunięto z listy ") + Numbers(result.deleted));
  }
  return Done(QString());
}

Report Describe(const BackupResult& result) {
  Report report;
  if (CommonStop(result, &report)) return WithSummary(report, "Nie zapisano kopii sterownika");
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Przerwano: kopii sterownika nie zapisano"));
  return WithSummary(ByTally(result, QString::fromUtf8("Zapisano kopię sterownika w pliku \"%1\": %2, %3")
                                         .arg(result.path, Numbers(result.numbers),
                                              CountOf(result.settings, "ustawienie", "ustawienia", "ustawień"))),
                     "Nie zapisano kopii sterownika");
}

Report Describe(const RestoreResult& result) {
  constexpr const char* kSummary = "Nie odtworzono kopii w sterowniku";
  if (result.stop == Stop::kBadInput) {
    return Failed(QString::fromUtf8("Plik \"%1\" nie jest kopią sterownika (%2). Nic nie wysłano.")
                      .arg(result.path, result.problem),
                  QString::fromUtf8(kSummary));
  }
  Report report;
  if (CommonStop(result, &report)) return WithSummary(report, kSummary);
  if (result.stop == Stop::kCancelled) {
    // Part of a backup is no restored controller: never told as done.
    return WithSummary(
        StoppedOrTally(result,
                       QString::fromUtf8("Przerwano odtwarzanie kopii: zapisano w sterowniku %1 z %2, ustawienia: "
                                         "%3 z %4")
                           .arg(Numbers(result.numbers))
                           .arg(result.numbersHeld)
                           .arg(result.settings)
                           .arg(result.settingsHeld)),
        kSummary);
  }
  return WithSummary(ByTally(result, QString::fromUtf8("Odtworzono w sterowniku %1 i %2")
                                         .arg(Numbers(result.numbers),
                                              CountOf(result.settings, "ustawienie", "ustawienia", "ustawień"))),
                     kSummary);
}

Report Describe(const SyncResult& result) {
  constexpr const char* kSummary = "Nie zsynchronizowano listy ze sterownikiem";
  Report report;
  if (CommonStop(result, &report)) return WithSummary(report, kSummary);
  if (result.dryRun && result.stop == Stop::kNone) {
    return Done(QString::fromUtf8("Plan synchronizacji: do dopisania %1, do usunięcia %2, bez zmian %3")
                    .arg(result.plan.add.size())
                    .arg(result.plan.remove.size())
                    .arg(result.unchanged));
  }
  if (result.stop == Stop::kCancelled) {
    if (result.lines.total() == 0) return Stopped(QString::fromUtf8("Przerwano synchronizację: nic nie wysłano"));
    return WithSummary(StoppedOrTally(result, QString::fromUtf8("Przerwano synchronizację: dopisano do sterownika %1 z "
                                                                "%2, usunięto ze sterownika %3 z %4")
                                                  .arg(result.added)
                                                  .arg(result.plan.add.size())
                                                  .arg(result.removed)
                                                  .arg(result.plan.remove.size())),
                       kSummary);
  }
  return WithSummary(ByTally(result, QString::fromUtf8("Synchronizacja zakończona: dopisano do sterownika %1, "
                                                       "usunięto ze sterownika %2, bez zmian %3")
                                         .arg(result.added)
                                         .arg(result.removed)
                                         .arg(result.unchanged)),
                     kSummary);
}
