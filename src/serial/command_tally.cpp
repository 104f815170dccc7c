#include "serial/command_tally.h"

#include "common/polish_plural.h"
#include "core/phone_number.h"
#include "core/user_interface.h"
#include "serial/link.h"

void CommandTally::Add(const QString& line, Outcome outcome) {
  switch (outcome) {
    case Outcome::kConfirmed:
      ++confirmed_;
      unansweredInARow_ = 0;
      return;
    case Outcome::kRefused:
      ++refused_;
      unansweredInARow_ = 0;
      failures_.append(QString::fromUtf8("ERROR: ") + line);
      return;
    case Outcome::kUnanswered:
      ++unanswered_;
      ++unansweredInARow_;
      failures_.append(QString::fromUtf8("brak odpowiedzi: ") + line);
      return;
    case Outcome::kPortLost:
      ++unanswered_;
      portLost_ = true;
      failures_.append(QString::fromUtf8("port zamknięty: ") + line);
      return;
  }
}

bool SafeForCommandLine(const QString& value) {
  return value.isEmpty() || NormalisePhoneNumber(value, kAnyPhoneLength, nullptr);
}

Outcome ExchangeChecked(Link& link, CommandTally& tally, const QString& line, std::initializer_list<QString> values) {
  for (const QString& value : values) {
    if (SafeForCommandLine(value)) continue;
    link.Trace(QString::fromUtf8("Nie wysłano polecenia z niepoprawną wartością: ") + line);
    tally.Add(line, Outcome::kRefused);
    return Outcome::kRefused;
  }
  const Outcome outcome = link.Exchange(line, Await::kReply);
  tally.Add(line, outcome);
  return outcome;
}

QString UnconfirmedMessage(const CommandTally& tally) {
  const int failed = tally.refused() + tally.unanswered();
  const QString head = tally.total() == 1
                           ? QString::fromUtf8("Sterownik nie potwierdził polecenia")
                           : QString::fromUtf8("Sterownik nie potwierdził %1 z %2 poleceń").arg(failed).arg(tally.total());
  return head + QString::fromUtf8(" (odrzucone: %1, bez odpowiedzi: %2)").arg(tally.refused()).arg(tally.unanswered());
}

bool ReportTally(Link& link, UserInterface& ui, const CommandTally& tally, const QString& done) {
  if (tally.AllConfirmed() && !tally.LineDead()) {
    ui.ShowOutcome(done);
    return true;
  }
  for (const QString& failure : tally.failures()) {
    link.Log(failure);
    link.Trace(failure);
  }
  ui.HideProgress();
  QString head;
  if (tally.PortLost()) {
    head = QString::fromUtf8(kPortLostMessage) + QStringLiteral(". ");
  } else if (tally.LineDead()) {
    head = QString::fromUtf8(kCommunicationError) + QStringLiteral(": ");
  }
  ui.ShowDialog(head + UnconfirmedMessage(tally), kNotice);
  return false;
}
