#include "core/result.h"

void LineTally::Add(const QString& line, LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kConfirmed:
      ++confirmed_;
      unansweredInARow_ = 0;
      return;
    case LineOutcome::kRefused:
      ++refused_;
      unansweredInARow_ = 0;
      failures_.append(QString::fromUtf8("ERROR: ") + line);
      return;
    case LineOutcome::kUnanswered:
      ++unanswered_;
      ++unansweredInARow_;
      failures_.append(QString::fromUtf8("brak odpowiedzi: ") + line);
      return;
    case LineOutcome::kPortLost:
      ++unanswered_;
      portLost_ = true;
      failures_.append(QString::fromUtf8("port zamknięty: ") + line);
      return;
    case LineOutcome::kNotSent:
      ++notSent_;
      failures_.append(QString::fromUtf8("nie wysłano: ") + line);
      return;
  }
}

void LineTally::NotSent(const QString& value) {
  ++notSent_;
  notSentValues_.append(value);
  failures_.append(QString::fromUtf8("nie wysłano wartości: ") + value);
}
