#include "outcome/outcome_text.h"

#include <QDir>

#include "common/polish_plural.h"
#include "common/slot_text.h"
#include "serial/link.h"

Report Declined() { return Report{Verdict::kDeclined, QString(), QString::fromUtf8(kDeclinedSummary)}; }

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
    case Stop::kDeclined: *report = Declined(); return true;
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
  QStringList parts;
  const int failed = tally.refused() + tally.unanswered();
  if (failed > 0) {
    const QString head = tally.sent() == 1
                             ? QString::fromUtf8("Sterownik nie potwierdził polecenia")
                             : QString::fromUtf8("Sterownik nie potwierdził %1 z %2 poleceń").arg(failed).arg(tally.sent());
    parts << head + QString::fromUtf8(" (odrzucone: %1, bez odpowiedzi: %2)").arg(tally.refused()).arg(tally.unanswered());
  }
  // A value kept here is no answer of the controller's: it is said apart.
  if (tally.notSent() > 0) {
    parts << QString::fromUtf8("Nie wysłano %1: %2")
                 .arg(CountOf(tally.notSent(), "wartości", "wartości", "wartości"),
                      tally.notSentValues().join(QStringLiteral(", ")));
  }
  return parts.join(QStringLiteral(". "));
}

QString SkippedLinesText(const ImportResult& result) {
  const VerdictCounts& n = result.counts;
  const std::pair<int, const char*> reasons[] = {
      {n[LineVerdict::kOnList], " z numerem już na liście"},
      {n[LineVerdict::kDuplicate], " z numerem powtórzonym w pliku"},
      {n[LineVerdict::kExcelNumber], " z numerem zapisanym przez arkusz jako liczba"},
      {n[LineVerdict::kInvalidNumber], " z niepoprawnym numerem telefonu"},
      {n[LineVerdict::kBadCharacter], " z niedozwolonym znakiem"},
  };
  QStringList parts;
  for (const auto& [count, why] : reasons) {
    if (count > 0) parts << Lines(count) + QString::fromUtf8(why);
  }
  if (parts.size() <= 1) return parts.value(0);
  const QString last = parts.takeLast();
  return parts.join(QStringLiteral(", ")) + QStringLiteral(" i ") + last;
}

// After "po": "po 1 wpisie", "po 5 wpisach".
QString AfterEntries(int n) { return QString::number(n) + (n == 1 ? QString::fromUtf8(" wpisie") : QString::fromUtf8(" wpisach")); }

namespace {

// A whole-list write that did not write everything: what the controller now
// holds, as far as the end of the list tells it.
Report WholeListStopped(const TransferResult& result) {
  const bool cancelled = result.stop == Stop::kCancelled;
  QString failure;
  if (!result.lines.AllConfirmed() || (result.stop != Stop::kNone && !cancelled)) {
    failure = ByTally(result, QString()).text;
    if (!failure.isEmpty()) failure += QStringLiteral(". ");
  }
  QString held;
  if (result.endMarkSlot > 0) {
    held = (cancelled ? QString::fromUtf8("Zapis przerwany po %1 z %2: sterownik ma teraz %3")
                      : QString::fromUtf8("Zapisano %1 z %2: sterownik ma teraz %3"))
               .arg(result.done)
               .arg(OfNumbers(result.asked), Numbers(result.done));
  } else if (result.done > 0) {
    // The end of the list did not get in: behind the numbers written may
    // stand numbers of an older list, which the controller still lets in.
    held = QString::fromUtf8("Zapis przerwany: w sterowniku mogą pozostać stare numery od miejsca %1. Zweryfikuj listę.")
               .arg(SlotText(result.lastSlot + 1));
  } else {
    held = QString::fromUtf8("Nie zapisano w sterowniku żadnego numeru");
  }
  if (cancelled && failure.isEmpty() && result.endMarkSlot > 0) return Stopped(held);
  return Failed(failure + held);
}

}  // namespace

Report Describe(const TransferResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  const bool remove = result.kind == TransferResult::Kind::kDelete;
  if (result.Succeeded()) {
    return Done((remove ? QString::fromUtf8("Usunięto ze sterownika ") : QString::fromUtf8("Zapisano w sterowniku ")) +
                Numbers(result.done));
  }
  if (result.kind == TransferResult::Kind::kWholeList) return WholeListStopped(result);
  if (result.stop == Stop::kCancelled) {
    return StoppedOrTally(result, remove ? QString::fromUtf8("Przerwano usuwanie: usunięto ze sterownika %1 z %2")
                                               .arg(result.done)
                                               .arg(OfNumbers(result.asked))
                                         : QString::fromUtf8("Przerwano zapis: dopisano do sterownika %1 z %2")
                                               .arg(result.done)
                                               .arg(OfNumbers(result.asked)));
  }
  return ByTally(result, QString());
}

Report Describe(const ReadResult& result) {
  Report report;
  const QString read = CountOf(result.entries, "wpis", "wpisy", "wpisów");
  if (result.stop == Stop::kNone) return Done(QString::fromUtf8("Odczytano ze sterownika ") + read + PastHole(result));
  if (result.stop != Stop::kCancelled && result.stop != Stop::kPortLost && result.stop != Stop::kSilent &&
      result.stop != Stop::kRefused && CommonStop(result, &report)) {
    return report;
  }
  // How far it came, and what became of the list.
  QString text = QString::fromUtf8("Odczyt przerwany po %1: ").arg(AfterEntries(result.entries)) +
                 (result.cleared ? QString::fromUtf8("lista pozostaje bez zmian")
                  : result.entries > 0 ? QString::fromUtf8("odczytane wpisy są na liście, reszta listy bez zmian")
                                       : QString::fromUtf8("lista bez zmian"));
  if (result.stop == Stop::kCancelled) return Stopped(text);
  CommonStop(result, &report);
  return Failed(report.text + QStringLiteral(". ") + text);
}

Report Describe(const VerifyResult& result) {
  Report report;
  const QString counts = QString::fromUtf8("potwierdzone w sterowniku %1, brak w sterowniku %2, tylko w sterowniku %3 "
                                           "(dopisane do listy)")
                             .arg(result.confirmed)
                             .arg(result.missing)
                             .arg(result.added);
  if (result.stop == Stop::kNone) return Done(QString::fromUtf8("Weryfikacja zakończona: ") + counts + PastHole(result));
  if (result.stop != Stop::kCancelled && result.stop != Stop::kPortLost && result.stop != Stop::kSilent &&
      result.stop != Stop::kRefused && CommonStop(result, &report)) {
    return report;
  }
  const QString text =
      QString::fromUtf8("Weryfikacja przerwana po %1: potwierdzono %2, dopisano do listy %3; wiersze, do których nie "
                        "doszła, mają poprzedni kolor")
          .arg(CountOf(result.entries, "numerze", "numerach", "numerach"))
          .arg(result.entries - result.added)
          .arg(result.added);
  if (result.stop == Stop::kCancelled) return Stopped(text);
  CommonStop(result, &report);
  return Failed(report.text + QStringLiteral(". ") + text);
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
  return Done(QString::fromUtf8("Odczytano konfigurację ze sterownika"));
}

Report Describe(const ConfigWriteResult& result) {
  Report report;
  if (CommonStop(result, &report)) return report;
  return ByTally(result, QString::fromUtf8("Zapisano konfigurację w sterowniku: ") + result.sent.join(QStringLiteral(", ")));
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
  return Done(QString::fromUtf8("Pobrano ze sterownika ") + CountOf(result.received, "wpis", "wpisy", "wpisów"));
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
  // A list that was to be replaced is replaced whole or not at all.
  if (result.stop == Stop::kCancelled && result.cleared) return Stopped(QString::fromUtf8("Przerwano import") + unchanged);
  QString summary = QString::fromUtf8("Zaimportowano ") + Numbers(result.taken);
  if (result.Skipped() > 0) summary += QString::fromUtf8(", pominięto %1").arg(SkippedLinesText(result));
  const int namesCut = result.counts[LineVerdict::kNameCut];
  if (namesCut > 0) {
    summary += QString::fromUtf8("; skrócono za długie imię lub nazwisko w %1")
                   .arg(QString::number(namesCut) + (namesCut == 1 ? QStringLiteral(" wierszu") : QStringLiteral(" wierszach")));
  }
  const int blank = result.counts[LineVerdict::kBlank];
  if (blank > 0) summary += QString::fromUtf8("; puste wiersze: %1").arg(blank);
  if (result.stop == Stop::kCancelled) return Stopped(QString::fromUtf8("Przerwano import: ") + summary);
  // Lines left out or cut are news the user has to act on, not a plain outcome.
  if (result.Skipped() > 0 || namesCut > 0) return Report{Verdict::kWarning, summary, QString()};
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
  return Done(QString::fromUtf8("Usunięto z listy ") + Numbers(result.deleted));
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
