// The serial exchange against the wire time: the configurator reads N phone
// slots (AT+CPBR=nnn, one reply line and OK each) from the simulated
// controller on a pseudo-terminal that holds every byte for its time on a
// 9600 baud line, in both directions.
//
// Commands and replies alternate, so the line is never busy both ways at once
// and the physical limit is the wire time of every byte sent plus every byte
// received (10 bits a byte). "wall/wire" is how far the exchange stays behind
// that limit: the aim of within 1.05 means the configurator's own turnaround
// (waking up, parsing, storing the entry, sending the next command) costs no
// more than 5 % on top of the line. "CPU/wall" is the main thread's CPU time
// over the same stretch: the aim of under 5 % means the waits really wait
// instead of polling. An unpaced round of the same exchanges then shows the
// link's own ceiling in exchanges per second.
//
// Two more phases run the list commands themselves, as the menu runs them,
// through the port they open from the "portcom" setting:
//   read   ReadList over a controller whose slots 002..1999 hold 1998
//          numbers; slot 2000 is left never written, so the read asks it,
//          finds it empty and stops there, having asked every slot it can.
//          Five of those slots (1001..1003, 1023, 1024) are the controller's
//          settings, which the read files as settings: the list gets 1993.
//   write  WriteNumbers (whole list) of a list of 1998 rows: 1998
//          AT+CPBW= lines and the end-of-list line, each waiting for its OK.
// Their reference is the wire time of every byte both ways plus the pauses
// the controller itself takes between the lines of one reply.
//
// The last phase puts a USB-serial adapter between the two, as on a machine
// without a serial port of its own: the controller's bytes reach the
// configurator in batches, one every 16 ms at most (the adapter's latency
// timer), with the lines of one reply back to back.
//   usb    VerifyList of a list holding the numbers the controller holds in
//          slots 002..1000 (slot 1001 is empty); the verify asks slots
//          002..1001, ending at the empty one. Then ReadList over a
//          controller whose slots 002..2000 all hold numbers: the read asks
//          every slot it can, 1999 of them.
// A reply reaches the configurator at the adapter's first tick after its
// last byte, so each exchange may wait up to one tick on top of the wire
// time: the figures are given against the wire time alone and against the
// wire time plus one tick per exchange.
//
// The growth phase verifies a list of 999 rows 100 times against the
// simulator, unpaced, and sets the database file's size after the last
// verify against its size after the first.
//
//   link_bench [--count N] [--baud B] [--phases single,read,write,usb,growth]

#include "link_bench.h"

namespace {

using namespace link_bench;

QString CommandFor(int slot) { return QStringLiteral("AT+CPBR=%1").arg(slot, 3, 10, QLatin1Char('0')); }

// The exact bytes the simulator writes for one slot: the entry line and the
// OK line, each ended by CR LF.
qint64 ReplyBytes(const Entry& e) {
  const std::string entry = "+CPBR: " + std::to_string(e.slot) + ",\"" + e.number + "\",129,\"" + e.name + "\"\r\n";
  return qint64(entry.size()) + qint64(std::string("OK\r\n").size());
}

struct Round {
  int exchanges = 0;
  qint64 bytesOut = 0;
  qint64 bytesIn = 0;    // computed from the seeded slots
  qint64 bytesSeen = 0;  // counted as the port announced them
  double wallMs = 0;
  double cpuMs = 0;
  int timeouts = 0;
  // The exchanges whose reply came in time, on their own: a single lost reply
  // costs a whole wait and would hide what the rest cost.
  double cleanWallMs = 0;
  qint64 cleanBytes = 0;
};

// One pass over every entry through a fresh session and a fresh simulator.
Round Exchange(const std::vector<Entry>& entries, const sim::Simulator::Options& options) {
  QTemporaryDir dir;
  if (!dir.isValid()) Die("cannot make a temporary directory");
  sim::Simulator sim(options);
  StartOrDie(sim);
  {
    std::lock_guard lock(sim.mutex());
    for (const Entry& e : entries) sim.controller().SetSlot(e.slot, e.number, e.name);
  }

  Session session(dir.path());
  CreateOrDie(session);
  Link link(session);
  if (!link.comm().OpenPort(QString::fromStdString(sim.DevicePath()))) Die("cannot open " + sim.DevicePath());

  Round round;
  // Counting what the port hands the parser checks the computed byte total:
  // the parser reads everything it is told is waiting.
  const auto parse = link.comm().onRxChar;
  link.comm().onRxChar = [&round, parse](qint64 waiting) {
    round.bytesSeen += waiting;
    parse(waiting);
  };

  ReplyStore store(session);
  const double cpuStart = ThreadCpuMs();
  const auto start = Clock::now();
  for (const Entry& e : entries) {
    const QString command = CommandFor(e.slot);
    const auto sent = Clock::now();
    const Answer answer = link.Exchange(command, Await::kReply, kReplyWaitMs);
    // What a read stores, it stores itself.
    if (const Reply* entry = answer.Entry()) store.StoreEntry(entry->slot, entry->number);
    const qint64 out = command.size() + 1;  // ASCII, and the CR
    const qint64 in = ReplyBytes(e);
    // The wait also returns when its time is up; then the reply was lost.
    if (answer.outcome == LineOutcome::kUnanswered) {
      ++round.timeouts;
    } else {
      round.cleanWallMs += std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
      round.cleanBytes += out + in;
    }
    round.bytesOut += out;
    round.bytesIn += in;
    ++round.exchanges;
  }
  round.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  round.cpuMs = ThreadCpuMs() - cpuStart;

  const int rows = session.Dbf1().RowCount();
  if (rows != int(entries.size()))
    Die("the phone list holds " + std::to_string(rows) + " rows after " + std::to_string(entries.size()) + " entries");
  const std::vector<std::string> received = sim.Received();
  if (received.size() != entries.size())
    Die("the simulator took " + std::to_string(received.size()) + " commands, " + std::to_string(entries.size()) +
        " were sent");
  // A lost reply may leave bytes behind the last wait; only a clean round
  // has to account for every byte.
  if (round.timeouts == 0 && round.bytesSeen != round.bytesIn)
    Die("received " + std::to_string(round.bytesSeen) + " bytes, the replies make " + std::to_string(round.bytesIn));
  link.comm().onRxChar = parse;
  return round;
}

// N single slot reads over the bare link, paced and then unpaced.
void SinglePhase(int count, int baud) {
  const std::vector<Entry> entries = MakeEntries(count);

  // The simulator's pause between the lines of one reply is its own doing, a
  // controller's think time and not line time, so it is switched off here:
  // otherwise it would be counted against the configurator. The bytes still
  // come one wire time apart, so the OK reaches the parser in a read of its
  // own as long as the entry line was picked up within one byte time; a
  // wake-up later than that hands over the OK with the entry line, the parser
  // drops it with the line, and the wait runs out: a timeout below.
  sim::Simulator::Options paced;
  paced.paceBaud = baud;
  paced.lineGapMs = 0;
  const Round p = Exchange(entries, paced);
  const double wireMs = double(p.bytesOut + p.bytesIn) * 10.0 * 1000.0 / baud;

  std::printf("\n%d single exchanges (AT+CPBR=nnn, entry line and OK), paced at %d baud\n", count, baud);
  std::printf("  %-24s %12d\n", "exchanges", p.exchanges);
  std::printf("  %-24s %12lld\n", "bytes out", static_cast<long long>(p.bytesOut));
  std::printf("  %-24s %12lld\n", "bytes in", static_cast<long long>(p.bytesIn));
  std::printf("  %-24s %12.1f\n", "wire time (ms)", wireMs);
  std::printf("  %-24s %12.1f\n", "wall time (ms)", p.wallMs);
  std::printf("  %-24s %12.3f   (aim: within 1.05)\n", "wall/wire", p.wallMs / wireMs);
  std::printf("  %-24s %12.3f\n", "over the wire per exch.", (p.wallMs - wireMs) / p.exchanges);
  std::printf("  %-24s %12.1f\n", "configurator CPU (ms)", p.cpuMs);
  std::printf("  %-24s %11.2f%%   (aim: under 5 %%)\n", "CPU/wall", 100.0 * p.cpuMs / p.wallMs);
  std::printf("  %-24s %12d\n", "timeouts", p.timeouts);
  if (p.timeouts > 0 && p.cleanBytes > 0) {
    const double cleanWireMs = double(p.cleanBytes) * 10.0 * 1000.0 / baud;
    std::printf("  %-24s %12.3f   (the %d exchanges answered in time)\n", "wall/wire without them",
                p.cleanWallMs / cleanWireMs, p.exchanges - p.timeouts);
  }

  // Unpaced, only the pause between the reply's lines is left: the parser
  // drops whatever follows an entry line in the same read, so the OK must
  // come in a read of its own, and a real line always gives it one.
  sim::Simulator::Options unpaced;
  unpaced.paceBaud = 0;
  unpaced.lineGapMs = 1;
  const Round u = Exchange(entries, unpaced);
  std::printf("\nunpaced (%d ms between the reply's lines)\n", unpaced.lineGapMs);
  std::printf("  %-24s %12d\n", "exchanges", u.exchanges);
  std::printf("  %-24s %12.1f\n", "wall time (ms)", u.wallMs);
  std::printf("  %-24s %12.0f\n", "exchanges/s", u.exchanges / u.wallMs * 1000.0);
  // What is left of each exchange once the simulator's own pause is taken off.
  std::printf("  %-24s %12.3f\n", "beyond the pause (ms)", u.wallMs / u.exchanges - unpaced.lineGapMs);
  std::printf("  %-24s %12.1f\n", "configurator CPU (ms)", u.cpuMs);
  std::printf("  %-24s %11.2f%%\n", "CPU/wall", 100.0 * u.cpuMs / u.wallMs);
  std::printf("  %-24s %12d\n", "timeouts", u.timeouts);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int count = 500;
  int baud = 9600;
  bool single = true, read = true, write = true, usb = true, growth = true;
  const char* const usage = "usage: link_bench [--count N] [--baud B] [--phases single,read,write,usb,growth]";
  for (int i = 1; i < argc; i += 2) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) Die(usage);
    if (flag == "--count") {
      count = std::atoi(argv[i + 1]);
    } else if (flag == "--baud") {
      baud = std::atoi(argv[i + 1]);
    } else if (flag == "--phases") {
      single = read = write = usb = growth = false;
      for (const QString& phase : QString::fromLocal8Bit(argv[i + 1]).split(u',', Qt::SkipEmptyParts)) {
        if (phase == u"single")
          single = true;
        else if (phase == u"read")
          read = true;
        else if (phase == u"write")
          write = true;
        else if (phase == u"usb")
          usb = true;
        else if (phase == u"growth")
          growth = true;
        else
          Die(usage);
      }
      if (!single && !read && !write && !usb && !growth) Die(usage);
    } else {
      Die(usage);
    }
  }
  // Slots from 2 up to the controller's last one.
  if (count < 1 || count > sim::Controller::kLastSlot - kFirstSlot + 1 || baud < 1) Die(usage);

  std::printf("link_bench: the configurator against the simulated controller at %d baud, 10 bits a byte\n", baud);
  if (single) SinglePhase(count, baud);
  // The list phases fill every list slot but the last: the read then ends on
  // an empty slot as it does on a real controller short of full, and the
  // write's end-of-list line still has a slot to go to.
  const std::vector<Entry> listEntries = MakeEntries(sim::Controller::kLastSlot - kFirstSlot);
  if (read) ReadPhase(ControllerLike(baud), listEntries);
  if (write) WritePhase(baud, listEntries);
  if (usb) {
    // The verify's list ends at slot 1000, the read's controller is full to
    // its last slot.
    VerifyPhase(BehindUsbAdapter(baud), MakeEntries(kVerifyRows));
    ReadPhase(BehindUsbAdapter(baud), MakeEntries(kLastReadSlot - kFirstSlot + 1));
  }
  if (growth) GrowthPhase(MakeEntries(kVerifyRows), 100);
  return 0;
}
