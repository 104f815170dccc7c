#pragma once

// What the phases of link_bench share: the entries they put into the
// simulated controller, the lines it is set to behave like, and the way a
// phase gives up.

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "serial/link.h"
#include "serial/list_transfer.h"
#include "serial/reply_store.h"
#include "outcome/outcome_text.h"
#include "serial/port_names.h"
#include "sim/simulator.h"
#include "store/compact.h"
#include "store/cursor.h"
#include "store/database.h"

namespace link_bench {

using Clock = std::chrono::steady_clock;

inline constexpr int kFirstSlot = 2;
inline constexpr quint32 kReplyWaitMs = 2000;

[[noreturn]] inline void Die(const std::string& message) {
  std::fprintf(stderr, "link_bench: %s\n", message.c_str());
  std::exit(1);
}

// CPU time of the calling thread only. The simulator's worker is a thread of
// this same process and burns its own CPU pacing the bytes; that is the
// controller's side and must not be counted against the configurator.
inline double ThreadCpuMs() {
  timespec ts{};
  if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) Die("clock_gettime(CLOCK_THREAD_CPUTIME_ID) failed");
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Entry {
  int slot = 0;
  std::string number;
  std::string name;
};

// Unique nine-digit mobile numbers and short names of varying length.
inline std::vector<Entry> MakeEntries(int count) {
  static const char* const kNames[] = {"Jan", "Anna Nowak", "Brama", "Piotr K", "Zofia Mazur", "Ewa", "Garaz 2", "Lis"};
  std::vector<Entry> entries;
  for (int i = 0; i < count; ++i) {
    const int slot = kFirstSlot + i;
    entries.push_back({slot, std::to_string(600000000 + slot * 7919), kNames[i % 8]});
  }
  return entries;
}

// A simulator running, or the bench ends.
inline void StartOrDie(sim::Simulator& sim) {
  std::string error;
  if (!sim.Start(&error)) Die("simulator: " + error);
}

// A session with its database open in `dir`, or the bench ends.
inline void CreateOrDie(Session& session, const store::OpenOptions& options = {}) {
  const QString failure = session.Create(options);
  if (!failure.isEmpty()) Die("session: " + failure.toStdString());
}

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The simulator as a real controller answers on a direct line: paced, and
// with its pause between the lines of one reply. The pause is the
// controller's time, so it goes into the reference, not against the
// configurator.
inline sim::Simulator::Options ControllerLike(int baud) {
  sim::Simulator::Options options;
  options.paceBaud = baud;
  return options;
}

// The last slot each list command asks; the controller has none past 2000.
inline constexpr int kLastReadSlot = sim::Controller::kLastSlot;
inline constexpr int kLastVerifySlot = kLastReadSlot;
// The verify's list ends below slot 1001, where the controller keeps its own settings.
inline constexpr int kVerifyRows = 999;

// The slots from 002 a command that stops at the first empty slot or at
// `lastAsked` asks of a controller holding `entries` from 002 on.
inline int SlotsAsked(const std::vector<Entry>& entries, int lastAsked) {
  return std::min(entries.back().slot + 1, lastAsked) - kFirstSlot + 1;
}

// Behind a USB-serial adapter: what the controller sends is handed to the
// configurator every kUsbLatencyMs at most, and the simulator puts no pause
// between a reply's lines, since the adapter's batching stands where a direct
// line's pauses stood. That batching is the adapter's time, not the
// configurator's, and is given apart from the wire time.
inline constexpr int kUsbLatencyMs = 16;

inline sim::Simulator::Options BehindUsbAdapter(int baud) {
  sim::Simulator::Options options;
  options.paceBaud = baud;
  options.lineGapMs = 0;
  options.usbLatencyMs = kUsbLatencyMs;
  return options;
}

// The list commands as the menu runs them (link_bench_list.cpp).
void ReadPhase(const sim::Simulator::Options& options, const std::vector<Entry>& entries);
void WritePhase(int baud, const std::vector<Entry>& entries);
void VerifyPhase(const sim::Simulator::Options& options, const std::vector<Entry>& entries);
void GrowthPhase(const std::vector<Entry>& entries, int verifies);

}  // namespace link_bench
