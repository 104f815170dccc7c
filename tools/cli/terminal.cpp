#include "cli/terminal.h"

#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

bool TerminalUi::Ask(Question question, const QString& text) {
  EndBar();
  err_ << text << Qt::endl;
  if (answers.contains(question)) return answers.value(question);
  if (yes_) return true;
  if (!isatty(STDIN_FILENO)) return false;
  err_ << "[t/N] " << Qt::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 't' || answer[0] == 'T' || answer[0] == 'y' || answer[0] == 'Y');
}

void TerminalUi::ShowNotice(const QString& text) { Say(text); }

void TerminalUi::ShowError(const QString& text) {
  Say(text);
  failed = true;
}

void TerminalUi::Say(const QString& text) {
  EndBar();
  err_ << text << Qt::endl;
}

void TerminalUi::UpdateProgress(int current, int total) {
  if (isatty(STDERR_FILENO) && total > 0) {
    const int percent = int(qint64(current) * 100 / total);
    const int filled = qBound(0, percent * 30 / 100, 30);
    err_ << '\r' << '[' << QString(filled, u'#') << QString(30 - filled, u' ') << "] " << percent << "% " << current
         << '/' << total << Qt::flush;
    barShown_ = true;
  }
  ProcessEvents();
}

void TerminalUi::EndBar() {
  if (!barShown_) return;
  err_ << Qt::endl;
  barShown_ = false;
}

int TerminalUi::Tell(const Report& report) {
  if (!report.text.isEmpty()) Say(report.text);
  switch (report.verdict) {
    case Verdict::kDone:
    case Verdict::kWarning: return 0;
    case Verdict::kStopped:
    case Verdict::kFailed: return 1;
    case Verdict::kDeclined:
      Say(QStringLiteral("selvantrix-cli: nothing done: the question was answered NIE; use --yes"));
      return 3;
  }
  return 1;
}

namespace {

int g_interruptPipe[2] = {-1, -1};
struct sigaction g_previous {};

void OnInterrupt(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_interruptPipe[1], &byte, 1);
}

}  // namespace

InterruptAsCancel::InterruptAsCancel(Progress& progress, bool enabled) {
  if (!enabled || pipe(g_interruptPipe) != 0) return;
  notifier_ = new QSocketNotifier(g_interruptPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_, &QSocketNotifier::activated, [&progress, this] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = read(g_interruptPipe[0], &byte, 1);
    progress.Cancel();
    interrupted_ = true;
  });
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previous);
  installed_ = true;
}

InterruptAsCancel::~InterruptAsCancel() {
  if (installed_) sigaction(SIGINT, &g_previous, nullptr);
  delete notifier_;
  for (int& fd : g_interruptPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

QString ReadPin(QTextStream& err) {
  err << "PIN: " << Qt::flush;
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &silent);
  }
  std::string pin;
  std::getline(std::cin, pin);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    err << Qt::endl;
  }
  return QString::fromLocal8Bit(pin.c_str());
}
