#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/controller.h"

namespace sim {

// How the simulated line behaves. Outside the class only so that it can be
// the default argument of the constructor.
struct SimulatorOptions {
  int paceBaud = 0;        // > 0: bytes both ways take their wire time (10 bits each) at this rate
  int delayMs = 0;         // wait before each reply
  bool silent = false;     // take commands, never answer
  bool garbage = false;    // a few stray bytes before each reply
  bool split = false;      // every write cut in two at a random point
  bool coalesce = false;   // all lines of a reply in one write
  std::uint64_t seed = 1;  // for the noise and the cuts
  bool verbose = false;    // "<- line" and "-> line" on stderr
  int lineGapMs = 3;       // pause between the lines of one reply (none with usbLatencyMs)
  // > 0: a USB-serial adapter's latency timer; what the controller sends
  // reaches the program under test in one write every usbLatencyMs at most,
  // and consecutive handovers are at least that far apart
  int usbLatencyMs = 0;
  // command lines, counted from 1 at Start(), answered "ERROR" and not carried out
  std::set<long long> errorOn{};
  // a phonebook read (AT+CPBR=) answered "OK" alone, without its entry
  bool bareOk = false;
  // phonebook entries name the slot asked plus this: a controller off by one
  int slotOffset = 0;
  // > 0: once this many command lines have been handled and their replies
  // read, the adapter is pulled: the device disappears, the port hangs up
  int unplugAfter = 0;
};

// A Controller behind a pseudo-terminal: the program under test opens
// DevicePath() as if it were the controller's serial port. One worker thread
// reads the commands, answers them, and can misbehave the ways real
// controllers and cheap USB adapters do (slow line, late, silent, noisy,
// fragmented or lumped replies, replies batched by the adapter, refused
// commands, an adapter pulled out mid-session).
class Simulator {
 public:
  using Options = SimulatorOptions;

  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens a new pseudo-terminal and starts the worker; fails while running.
  bool Start(std::string* error);
  // Idempotent, also after the adapter was pulled; afterwards the device no
  // longer exists.
  void Stop();

  std::string DevicePath() const { return devicePath_; }

  // The worker holds mutex() while it handles a line; lock it to look at or
  // change the controller while the simulator runs.
  Controller& controller() { return controller_; }
  std::mutex& mutex() { return controllerMutex_; }

  // Every complete line received so far, oldest first, without the CR.
  std::vector<std::string> Received() const;
  void ClearReceived();

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  void Take(char byte);
  void Answer(const std::vector<std::string>& lines);
  void Send(std::string_view bytes);
  void SendPaced(std::string_view bytes);
  // Toward the program under test: straight onto the port, or into the
  // adapter's buffer with usbLatencyMs.
  void Emit(std::string_view bytes);
  bool WriteSome(std::string_view bytes);
  // The adapter's latency timer: hands the buffer over when its tick is due.
  void HandOver(Clock::time_point now);
  Clock::time_point NextTick(Clock::time_point now) const;
  // Bytes handed to the port that its reader has not taken yet.
  int Unread() const;
  void Unplug();
  // Sleeps until `deadline` unless Stop() comes first, keeping the adapter's
  // ticks meanwhile; false when stopping.
  bool SleepUntil(Clock::time_point deadline);
  bool SleepFor(std::chrono::nanoseconds duration) { return SleepUntil(Clock::now() + duration); }
  std::chrono::nanoseconds ByteTime() const;

  Options options_;
  std::mt19937_64 rng_;
  Controller controller_;
  std::mutex controllerMutex_;
  mutable std::mutex receivedMutex_;
  std::vector<std::string> received_;

  int master_ = -1;
  int slave_ = -1;
  int stopRead_ = -1;
  int stopWrite_ = -1;
  bool stopping_ = false;  // worker-only: set once the stop pipe is seen
  std::string devicePath_;
  std::string pending_;
  Clock::time_point wireFree_{};  // when the incoming line finishes the byte on it
  long long commands_ = 0;        // lines taken since Start()
  bool unplugDue_ = false;
  std::string adapterBuffer_;         // produced, not yet handed over
  Clock::time_point handOverDue_{};   // valid while adapterBuffer_ holds bytes
  Clock::time_point lastHandOver_{};  // the latency timer restarts here
  Clock::time_point lastProgress_{};  // for giving up on a reader that never reads
  std::thread worker_;
};

}  // namespace sim
