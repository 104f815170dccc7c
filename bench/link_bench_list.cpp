// The list commands of link_bench: read, write, verify and the growth of the
// database file over many verifies (see link_bench.cpp for what each
// measures).

#include "link_bench.h"

namespace link_bench {

namespace {

// Someone who answers NIE to every question and never cancels. Notices are
// kept rather than ignored, and so are the words of how a command ended: a
// command that cannot open its port or loses the controller says so, and the
// figures have to show it.
class QuietUi : public UserInterface {
 public:
  bool Ask(Question, const QString& text) override {
    questions.push_back(text);
    return false;
  }
  void ShowNotice(const QString& text) override { notices.push_back(text); }
  void ShowError(const QString& text) override { Die(text.toStdString()); }
  // How a command ended: news when it did what it was asked, a notice when not.
  void Tell(const Report& report) { (report.verdict == Verdict::kDone ? outcomes : notices).push_back(report.text); }
  void ShowProgress() override {}
  void UpdateProgress(int, int) override {}
  void HideProgress() override {}
  // Events run as the window runs them.
  void ProcessEvents() override { pacer_.Pass(); }
  void SuspendViewUpdates(bool) override {}

  std::vector<QString> questions;
  std::vector<QString> notices;
  std::vector<QString> outcomes;

 private:
  EventPacer pacer_;
};

// Follows the link's trace lines: a command is answered when the line it
// waits for is traced before the next command goes out. The list commands do
// not look at the outcome of a wait, so a command left unanswered is the only
// sign that its wait ran out.
class AnswerWatch {
 public:
  explicit AnswerWatch(bool (*isAnswer)(const QString&)) : isAnswer_(isAnswer) {}

  void See(const QString& line) {
    if (line.startsWith(u"AT+")) {
      if (pending_) ++unanswered_;
      pending_ = true;
      sent_ = Clock::now();
    } else if (pending_ && isAnswer_(line)) {
      pending_ = false;
      slowestMs_ = std::max(slowestMs_, MsSince(sent_));
    }
  }
  int Unanswered() const { return unanswered_ + (pending_ ? 1 : 0); }
  double SlowestMs() const { return slowestMs_; }

 private:
  bool (*isAnswer_)(const QString&);
  bool pending_ = false;
  int unanswered_ = 0;
  double slowestMs_ = 0;
  Clock::time_point sent_;
};

// The read waits for the entry line, which the parser traces after a time
// stamp; the write waits for the OK.
bool IsEntryTrace(const QString& line) { return line.contains(u"CPBR:"); }
bool IsOkTrace(const QString& line) { return line.startsWith(u"OK"); }

struct ListRound {
  int exchanges = 0;    // command lines the controller took
  qint64 bytesOut = 0;  // those lines and their CRs
  qint64 bytesIn = 0;   // as the port announced them to the parser
  qint64 bytesInReplayed = 0;
  int replyLines = 0;
  double wireMs = 0;
  double pauseMs = 0;  // the controller's own pauses between reply lines
  double wallMs = 0;
  double cpuMs = 0;
  int unanswered = 0;
  double slowestMs = 0;
  std::vector<QString> questions;
  std::vector<QString> notices;
  std::vector<QString> outcomes;

  double ReferenceMs() const { return wireMs + pauseMs; }
};

// Points the session's COM7 at the simulator and makes it the chosen port,
// as a user does once in the port picker.
void UseSimulatorPort(Session& session, const sim::Simulator& sim) {
  RememberPortAlias(session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
  UpsertSetting(session, kKeyPort, QStringLiteral("7"));
}

// Runs one list command against the simulator and accounts for the line.
// `before` is the controller as the command found it: the lines it took are
// replayed on a copy, which gives the exact reply bytes and lines the
// simulator wrote, to check the count the port reported.
ListRound RunListCommand(Link& link, sim::Simulator& sim, const sim::Controller& before, int baud, int lineGapMs,
                         bool (*isAnswer)(const QString&), const std::function<Report(Progress&)>& command) {
  ListRound round;
  QuietUi ui;
  const auto parse = link.comm().onRxChar;
  link.comm().onRxChar = [&round, parse](qint64 waiting) {
    round.bytesIn += waiting;
    parse(waiting);
  };
  AnswerWatch watch(isAnswer);
  link.onLog = [&watch](const QString& line) { watch.See(line); };

  const double cpuStart = ThreadCpuMs();
  const auto start = Clock::now();
  {
    Progress progress(ui);
    ui.Tell(command(progress));
  }
  round.wallMs = MsSince(start);
  round.cpuMs = ThreadCpuMs() - cpuStart;

  const std::vector<std::string> received = sim.Received();
  sim::Controller replay = before;
  for (const std::string& line : received) {
    round.bytesOut += qint64(line.size()) + 1;  // and the CR
    for (const std::string& reply : replay.Handle(line)) {
      round.bytesInReplayed += qint64(reply.size()) + 2;  // and CR LF
      ++round.replyLines;
    }
  }
  round.exchanges = int(received.size());

  // The read returns on its last entry line, while that reply's OK is still
  // on the line; it is let in here, outside the timing, so the count can be
  // checked against the replay.
  const auto drainEnd = Clock::now() + std::chrono::seconds(1);
  while (round.bytesIn < round.bytesInReplayed && Clock::now() < drainEnd) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  link.onLog = nullptr;
  link.comm().onRxChar = parse;

  // The read's last OK and the pause before it (7 ms at 9600 baud) are in
  // the reference though the read does not wait for them: under 0.01 % of a
  // read of the whole list, not worth a special case.
  round.wireMs = double(round.bytesOut + round.bytesIn) * 10.0 * 1000.0 / baud;
  // Every reply is one or more lines, and the controller pauses before each
  // line after the first of its reply.
  round.pauseMs = double(lineGapMs) * (round.replyLines - round.exchanges);
  round.unanswered = watch.Unanswered();
  round.slowestMs = watch.SlowestMs();
  round.questions = ui.questions;
  round.notices = ui.notices;
  round.outcomes = ui.outcomes;
  return round;
}

// `usbLatencyMs` > 0: the replies came through an adapter ticking at that
// period, and the round is set against both the wire time alone and the wire
// time plus one tick per exchange.
void PrintListRound(const ListRound& r, int usbLatencyMs = 0) {
  std::printf("  %-24s %12d\n", "exchanges", r.exchanges);
  std::printf("  %-24s %12lld\n", "bytes out", static_cast<long long>(r.bytesOut));
  std::printf("  %-24s %12lld\n", "bytes in", static_cast<long long>(r.bytesIn));
  std::printf("  %-24s %12d\n", "reply lines", r.replyLines);
  std::printf("  %-24s %12.1f\n", "wire time (ms)", r.wireMs);
  if (usbLatencyMs > 0) {
    const double ticksMs = double(usbLatencyMs) * r.exchanges;
    const double boundMs = r.wireMs + ticksMs;
    std::printf("  %-24s %12.1f   (%d ms a tick, one per exchange)\n", "adapter ticks (ms)", ticksMs, usbLatencyMs);
    std::printf("  %-24s %12.1f\n", "wall time (ms)", r.wallMs);
    std::printf("  %-24s %12.3f\n", "wall/wire", r.wallMs / r.wireMs);
    std::printf("  %-24s %12.3f   (aim: within 1.05)\n", "wall/(wire + ticks)", r.wallMs / boundMs);
    std::printf("  %-24s %12.2f   (ms; a tick is %d)\n", "over the wire per exch.", (r.wallMs - r.wireMs) / r.exchanges,
                usbLatencyMs);
    const char* met = r.wallMs <= 1.05 * r.wireMs  ? "within 1.05 of the wire time alone"
                      : r.wallMs <= 1.05 * boundMs ? "within 1.05 of the wire time plus a tick per exchange"
                                                   : "neither: beyond 1.05 of the wire time plus a tick per exchange";
    std::printf("  %-24s %s\n", "bound met", met);
  } else {
    std::printf("  %-24s %12.1f\n", "controller pauses (ms)", r.pauseMs);
    std::printf("  %-24s %12.1f\n", "reference time (ms)", r.ReferenceMs());
    std::printf("  %-24s %12.1f\n", "wall time (ms)", r.wallMs);
    std::printf("  %-24s %12.3f   (aim: within 1.05)\n", "wall/reference", r.wallMs / r.ReferenceMs());
    std::printf("  %-24s %12.3f\n", "over the ref. per exch.", (r.wallMs - r.ReferenceMs()) / r.exchanges);
  }
  std::printf("  %-24s %12.1f\n", "configurator CPU (ms)", r.cpuMs);
  std::printf("  %-24s %11.2f%%   (aim: under 5 %%)\n", "CPU/wall", 100.0 * r.cpuMs / r.wallMs);
  std::printf("  %-24s %12.1f\n", "slowest answer (ms)", r.slowestMs);
  std::printf("  %-24s %12d\n", "timeouts (unanswered)", r.unanswered);
  for (const QString& notice : r.notices) std::printf("  notice: %s\n", notice.toStdString().c_str());
  for (const QString& outcome : r.outcomes) std::printf("  outcome: %s\n", outcome.toStdString().c_str());
  std::fflush(stdout);
}

// Checks that hold for any clean list round, after its figures are printed.
void CheckListRound(const ListRound& r, const char* phase, int expectedExchanges) {
  if (r.exchanges != expectedExchanges)
    Die(std::string(phase) + ": the simulator took " + std::to_string(r.exchanges) + " lines, " +
        std::to_string(expectedExchanges) + " were due");
  if (r.bytesIn != r.bytesInReplayed)
    Die(std::string(phase) + ": received " + std::to_string(r.bytesIn) + " bytes, the replies make " +
        std::to_string(r.bytesInReplayed));
  if (!r.notices.empty()) Die(std::string(phase) + ": the command showed a notice: " + r.notices.front().toStdString());
}

// Slots the controller keeps its own settings in. A read files what they
// hold under these keys instead of in the phone list, so a controller whose
// list runs past slot 1000 gives the list five numbers fewer than it holds.
const char* SettingKeyOf(int slot) {
  switch (slot) {
    case 1001: return kKeyServerPhone;
    case 1002: return kKeyControllerPhone;
    case 1003: return kKeyServerIp;
    case 1023: return kKeyHostIp;
    case 1024: return kKeyHost;
    default: return nullptr;
  }
}

// Puts the entries into the controller's slots and returns the controller as
// the command will find it.
sim::Controller Seed(sim::Simulator& sim, const std::vector<Entry>& entries) {
  std::lock_guard lock(sim.mutex());
  for (const Entry& e : entries) sim.controller().SetSlot(e.slot, e.number, e.name);
  return sim.controller();
}

}  // namespace

void ReadPhase(const sim::Simulator::Options& options, const std::vector<Entry>& entries) {
  QTemporaryDir dir;
  if (!dir.isValid()) Die("cannot make a temporary directory");
  const int baud = options.paceBaud;
  sim::Simulator sim(options);
  StartOrDie(sim);
  const sim::Controller before = Seed(sim, entries);
  // The store flushes every stored entry, as in the window: the read is
  // measured as the user gets it.
  Session session(dir.path());
  CreateOrDie(session);
  // A read that stops at an empty slot looks up to ReadGap slots past it for
  // numbers left behind a hole. Those looks are exchanges of their own, not
  // the read of the list, and would blur what a slot costs: none here.
  UseSimulatorPort(session, sim);

  Link link(session);
  link.options().readGap = 0;
  const int pauseMs = options.usbLatencyMs > 0 ? 0 : options.lineGapMs;
  const ListRound r = RunListCommand(link, sim, before, baud, pauseMs, &IsEntryTrace,
                                     [&link](Progress& p) { return Describe(ReadList(link, p)); });
  const int rows = session.Dbf1().RowCount();
  int listNumbers = 0;
  for (const Entry& e : entries) listNumbers += SettingKeyOf(e.slot) ? 0 : 1;

  const int lastSlot = entries.back().slot;
  if (options.usbLatencyMs > 0) {
    std::printf(
        "\nfull list read behind a USB adapter (ReadList: slots 002..%d hold numbers%s),\n"
        "paced at %d baud, handed over every %d ms, no pause between a reply's lines, a flush per stored "
        "entry\n",
        lastSlot, lastSlot >= kLastReadSlot ? ", the read ends at its last slot" : "", baud, options.usbLatencyMs);
  } else {
    std::printf(
        "\nfull list read (ReadList: slots 002..%d hold numbers, slot %d is empty and ends it),\n"
        "paced at %d baud, %d ms between a reply's lines, a flush per stored entry\n",
        lastSlot, lastSlot + 1, baud, options.lineGapMs);
  }
  PrintListRound(r, options.usbLatencyMs);
  std::printf("  %-24s %12d   (%zu slots are the controller's settings)\n", "rows stored", rows,
              entries.size() - size_t(listNumbers));
  std::fflush(stdout);

  // The slots asked are the numbers and the empty one after them, if the
  // read gets that far.
  CheckListRound(r, "read", SlotsAsked(entries, kLastReadSlot));
  if (r.questions.size() != 1 || r.questions.front() != QString::fromUtf8(kReadClearQuestion))
    Die("read: the clearing question was not asked once");
  if (r.outcomes.size() != 1) Die("read: the read did not end by telling what it read");
  if (rows != listNumbers)
    Die("read: the phone list holds " + std::to_string(rows) + " rows, the controller " + std::to_string(listNumbers) +
        " list numbers");
  store::Cursor& list = session.Dbf1();
  for (const Entry& e : entries) {
    if (const char* key = SettingKeyOf(e.slot)) {
      QString value;
      if (!FindSetting(session, key, &value) || value.toStdString() != e.number)
        Die("read: slot " + std::to_string(e.slot) + " did not reach the setting " + key);
      continue;
    }
    bool found = false;
    if (!list.Find("Tel", {e.number}, {}, &found).ok() || !found || list.Int("ID") != e.slot)
      Die("read: slot " + std::to_string(e.slot) + " was not stored as row " + std::to_string(e.slot));
  }
}

void WritePhase(int baud, const std::vector<Entry>& entries) {
  QTemporaryDir dir;
  if (!dir.isValid()) Die("cannot make a temporary directory");
  const sim::Simulator::Options options = ControllerLike(baud);
  sim::Simulator sim(options);
  StartOrDie(sim);
  sim::Controller before;
  {
    std::lock_guard lock(sim.mutex());
    before = sim.controller();
  }
  // Without flushes the 1998 rows go in within a moment instead of a flush
  // each. The write's own store work (the marks are not in the store, and a
  // write changes no row) skips the flush as well, which leaves it nothing
  // to be slowed by.
  store::OpenOptions storeOptions;
  storeOptions.sync = store::SyncMode::kNone;
  Session session(dir.path());
  CreateOrDie(session, storeOptions);
  UseSimulatorPort(session, sim);

  const auto setUp = Clock::now();
  store::Cursor& list = session.Dbf1();
  QStringList numbers;
  for (const Entry& e : entries) {
    if (!list.Append().ok() || !list.SetText("Tel", e.number).ok() || !list.Post().ok())
      Die("write: cannot add " + e.number + " to the list");
    numbers << QString::fromStdString(e.number);
  }
  const double setUpMs = MsSince(setUp);

  Link link(session);
  const ListRound r = RunListCommand(link, sim, before, baud, options.lineGapMs, &IsOkTrace, [&](Progress& p) {
    return Describe(WriteNumbers(link, p, numbers, WriteMode::kWholeList));
  });

  std::printf(
      "\nlist write (WriteNumbers of %zu rows, every row: slots 002..%d and the end-of-list line),\n"
      "paced at %d baud, no flushes (set-up of the rows and marks: %.0f ms)\n",
      entries.size(), entries.back().slot, baud, setUpMs);
  PrintListRound(r);

  // One line a number and the end-of-list line after them.
  CheckListRound(r, "write", int(entries.size()) + 1);
  std::lock_guard lock(sim.mutex());
  const sim::Controller& c = sim.controller();
  // Every slot, the settings slots among them: a write of a list this long
  // runs over them as over any other.
  for (const Entry& e : entries) {
    if (c.Number(e.slot) != e.number || c.Name(e.slot) != e.number)
      Die("write: slot " + std::to_string(e.slot) + " holds \"" + c.Number(e.slot) + "\", not " + e.number);
  }
  const int endSlot = entries.back().slot + 1;
  if (c.Number(endSlot) != sim::Controller::kCleared)
    Die("write: slot " + std::to_string(endSlot) + " does not hold the end of the list");
}

// VerifyList against a controller holding what the list holds, behind the
// adapter. The list is set up with a flush per row, as the window keeps it,
// outside the timing; the verify flushes every confirmation as the window
// does.
void VerifyPhase(const sim::Simulator::Options& options, const std::vector<Entry>& entries) {
  QTemporaryDir dir;
  if (!dir.isValid()) Die("cannot make a temporary directory");
  sim::Simulator sim(options);
  StartOrDie(sim);
  const sim::Controller before = Seed(sim, entries);
  Session session(dir.path());
  CreateOrDie(session);
  // A verify that stops at an empty slot looks up to ReadGap slots past it,
  // as a read does. Those looks are not the comparison of the list and would
  // blur what a slot costs: none here.
  UseSimulatorPort(session, sim);

  const auto setUp = Clock::now();
  store::Cursor& list = session.Dbf1();
  for (const Entry& e : entries) {
    if (!list.Append().ok() || !list.SetText("Tel", e.number).ok() || !list.Post().ok())
      Die("verify: cannot add " + e.number + " to the list");
  }
  const double setUpMs = MsSince(setUp);

  Link link(session);
  link.options().readGap = 0;
  const ListRound r = RunListCommand(link, sim, before, options.paceBaud, 0, &IsOkTrace,
                                     [&link](Progress& p) { return Describe(VerifyList(link, p)); });
  const int asked = SlotsAsked(entries, kLastVerifySlot);

  std::printf(
      "\nlist verify behind a USB adapter (VerifyList of %zu rows; the controller holds them in slots "
      "002..%d,\nslot %d is empty; the verify asks 002..%d), paced at %d baud, handed over every %d ms,\n"
      "no pause between a reply's lines, a flush per confirmation (set-up of the rows: %.0f ms)\n",
      entries.size(), entries.back().slot, entries.back().slot + 1, asked + kFirstSlot - 1, options.paceBaud,
      options.usbLatencyMs, setUpMs);
  PrintListRound(r, options.usbLatencyMs);

  CheckListRound(r, "verify", asked);
  if (!r.questions.empty()) Die("verify: a question was asked: " + r.questions.front().toStdString());
  if (r.outcomes.size() != 1) Die("verify: the verify did not end by telling how the list compares");
  if (list.RowCount() != int(entries.size()))
    Die("verify: the list holds " + std::to_string(list.RowCount()) + " rows, not " + std::to_string(entries.size()));
  // Confirmed is every row whose slot was asked; a row past the verify's
  // range is left unconfirmed, as it is for the user.
  for (const Entry& e : entries) {
    bool found = false;
    if (!list.Find("Tel", {e.number}, {}, &found).ok() || !found) Die("verify: " + e.number + " is gone from the list");
    const bool askedSlot = e.slot < kFirstSlot + asked;
    if (list.Int("ST") != (askedSlot ? 1 : 0))
      Die("verify: the row of slot " + std::to_string(e.slot) + (askedSlot ? " is not confirmed" : " is confirmed"));
  }
}

// The database file over many verifies: a list the controller holds in full,
// verified again and again against an unpaced simulator, as a list verified
// daily is. A verify writes a row only where its confirmation changes, so
// after the first one, which confirms every row, the file keeps its size;
// unconfirming every row first and confirming it again had grown it by two
// row images a row a verify. Aim: the 100th verify leaves the file within
// 1.5 times its size after the first.
void GrowthPhase(const std::vector<Entry>& entries, int verifies) {
  QTemporaryDir dir;
  if (!dir.isValid()) Die("cannot make a temporary directory");
  sim::Simulator::Options options;
  options.paceBaud = 0;
  options.lineGapMs = 0;
  sim::Simulator sim(options);
  StartOrDie(sim);
  Seed(sim, entries);
  Session session(dir.path());
  CreateOrDie(session);
  UseSimulatorPort(session, sim);
  store::Cursor& list = session.Dbf1();
  for (const Entry& e : entries) {
    if (!list.Append().ok() || !list.SetText("Tel", e.number).ok() || !list.Post().ok())
      Die("growth: cannot add " + e.number + " to the list");
  }
  const std::string path = QFile::encodeName(session.FilePath(kDatabaseFileName)).toStdString();
  const auto fileSize = [&path] { return std::int64_t(QFileInfo(QString::fromStdString(path)).size()); };
  const std::int64_t listed = fileSize();

  Link link(session);
  link.options().readGap = 0;
  std::int64_t first = 0;
  const auto start = Clock::now();
  for (int k = 1; k <= verifies; ++k) {
    QuietUi ui;
    {
      Progress progress(ui);
      ui.Tell(Describe(VerifyList(link, progress)));
    }
    if (!ui.notices.empty())
      Die("growth: verify " + std::to_string(k) + " showed a notice: " + ui.notices.front().toStdString());
    if (k == 1) first = fileSize();
  }
  const double wallMs = MsSince(start);
  const std::int64_t last = fileSize();
  int confirmed = 0;
  for (list.First(); !list.Eof(); list.Next()) confirmed += list.Int("ST") == 1 ? 1 : 0;
  if (confirmed != int(entries.size()))
    Die("growth: " + std::to_string(confirmed) + " rows confirmed, " + std::to_string(entries.size()) + " due");

  // What the file would be compacted to, for scale.
  std::shared_ptr<store::Database> db;
  store::SpaceUse use;
  if (!store::Database::Open(path, {}, &db).ok() || !store::MeasureSpace(*db, &use).ok())
    Die("growth: cannot measure the database file");

  const double ratio = double(last) / double(first);
  std::printf(
      "\ndatabase file over %d verifies (VerifyList of %zu rows, %d confirmed each time), unpaced,\n"
      "a flush per written confirmation\n",
      verifies, entries.size(), confirmed);
  std::printf("  %-24s %12lld\n", "bytes, list made", static_cast<long long>(listed));
  std::printf("  %-24s %12lld\n", "bytes, 1st verify", static_cast<long long>(first));
  std::printf("  %-24s %12lld\n", ("bytes, verify " + std::to_string(verifies)).c_str(), static_cast<long long>(last));
  std::printf("  %-24s %12lld\n", "bytes, compacted", static_cast<long long>(use.neededSize));
  std::printf("  %-24s %12.3f   (aim: at most 1.5)\n", "last/1st", ratio);
  std::printf("  %-24s %12.1f\n", "wall time per verify (ms)", wallMs / verifies);
  std::fflush(stdout);
  if (ratio > 1.5) Die("growth: the file grew " + std::to_string(ratio) + " times over the verifies");
}

}  // namespace link_bench
