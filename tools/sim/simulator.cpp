#include "sim/simulator.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sim {

namespace {

using namespace std::chrono_literals;

// Long enough for a test that reads replies lazily, short enough that a port
// nobody reads does not stall the controller for good: then the bytes are
// lost, as on a real line with no one listening.
constexpr auto kWriteGiveUp = 2s;
constexpr auto kRetryPause = 5ms;
constexpr auto kSplitPause = 2ms;
constexpr size_t kMaxLine = 64 * 1024;
// The pseudo-terminal queues what was written a moment after write()
// returns, so an empty queue on the port only means "read" once it has
// stayed empty this many pauses in a row.
constexpr int kQuietChecks = 4;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

timespec ToTimespec(std::chrono::nanoseconds duration) {
  const auto ns = std::max<long long>(duration.count(), 0);
  return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

bool SetFlag(int fd, int getCmd, int setCmd, int flag) {
  const int flags = ::fcntl(fd, getCmd);
  return flags >= 0 && ::fcntl(fd, setCmd, flags | flag) == 0;
}

}  // namespace

Simulator::Simulator(Options options) : options_(options), rng_(options.seed) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string* error) {
  const auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    CloseFd(master_);
    CloseFd(slave_);
    CloseFd(stopRead_);
    CloseFd(stopWrite_);
    devicePath_.clear();
    return false;
  };
  // Not through fail(): that would close the running worker's descriptors.
  if (master_ >= 0 || worker_.joinable()) {
    if (error) *error = "simulator already started";
    return false;
  }

  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return fail(Errno("posix_openpt"));
  if (!SetFlag(master_, F_GETFD, F_SETFD, FD_CLOEXEC) || !SetFlag(master_, F_GETFL, F_SETFL, O_NONBLOCK))
    return fail(Errno("fcntl"));
  if (::grantpt(master_) != 0) return fail(Errno("grantpt"));
  if (::unlockpt(master_) != 0) return fail(Errno("unlockpt"));
  char name[256];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail(Errno("ptsname"));
  devicePath_ = name;

  // Holding the slave open ourselves keeps the master readable while the
  // program under test has the port closed; otherwise every read is EIO.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail(Errno(name));
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) return fail(Errno("tcgetattr"));
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail(Errno("tcsetattr"));

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return fail(Errno("pipe2"));
  stopRead_ = pipeFds[0];
  stopWrite_ = pipeFds[1];
  stopping_ = false;
  pending_.clear();
  wireFree_ = {};
  commands_ = 0;
  unplugDue_ = false;
  adapterBuffer_.clear();
  lastHandOver_ = Clock::now();

  worker_ = std::thread(&Simulator::Run, this);
  return true;
}

void Simulator::Stop() {
  if (worker_.joinable()) {
    // The byte is never read: the pipe stays readable, so every later wait
    // in the worker sees the stop too.
    const char byte = 'x';
    while (::write(stopWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    worker_.join();
  }
  CloseFd(master_);
  CloseFd(slave_);
  CloseFd(stopRead_);
  CloseFd(stopWrite_);
}

std::vector<std::string> Simulator::Received() const {
  std::lock_guard lock(receivedMutex_);
  return received_;
}

void Simulator::ClearReceived() {
  std::lock_guard lock(receivedMutex_);
  received_.clear();
}

std::chrono::nanoseconds Simulator::ByteTime() const {
  return std::chrono::nanoseconds(10'000'000'000LL / options_.paceBaud);
}

bool Simulator::SleepUntil(Clock::time_point deadline) {
  while (!stopping_) {
    const auto now = Clock::now();
    // A reply may be paced or delayed for longer than a tick; the adapter
    // keeps handing over what it has meanwhile.
    HandOver(now);
    if (now >= deadline) return true;
    auto wake = deadline;
    if (!adapterBuffer_.empty()) wake = std::min(wake, handOverDue_);
    const timespec timeout = ToTimespec(wake - now);
    pollfd stop{stopRead_, POLLIN, 0};
    if (::ppoll(&stop, 1, &timeout, nullptr) > 0) stopping_ = true;
  }
  return false;
}

void Simulator::Run() {
  char buffer[4096];
  while (!stopping_) {
    if (unplugDue_) {
      Unplug();
      break;
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
    timespec tick{};
    if (!adapterBuffer_.empty()) tick = ToTimespec(handOverDue_ - Clock::now());
    if (::ppoll(fds, 2, adapterBuffer_.empty() ? nullptr : &tick, nullptr) < 0) {
      if (errno != EINTR) SleepFor(kRetryPause);
      continue;
    }
    if (fds[1].revents != 0) break;
    HandOver(Clock::now());
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        SleepFor(20ms);  // EIO while the line is down; try again shortly
        continue;
      }
      const auto arrived = Clock::now();
      // Once the adapter is to be pulled, nothing behind the last answered
      // command reaches the controller.
      for (ssize_t i = 0; i < n && !stopping_ && !unplugDue_; ++i) {
        if (options_.paceBaud > 0) {
          // The line carries one byte at a time; this one starts when both it
          // has been sent and the one before it is through.
          wireFree_ = std::max(arrived, wireFree_) + ByteTime();
          if (!SleepUntil(wireFree_)) break;
        }
        Take(buffer[i]);
      }
    } else if (fds[0].revents != 0) {
      SleepFor(20ms);  // hang-up or error without data: do not spin on it
    }
  }
  stopping_ = true;
}

void Simulator::Take(char byte) {
  if (byte == '\n') return;
  if (byte != '\r') {
    // A line without end is noise, not a command worth unbounded memory.
    if (pending_.size() >= kMaxLine) pending_.clear();
    pending_ += byte;
    return;
  }
  const std::string line = std::exchange(pending_, {});
  {
    std::lock_guard lock(receivedMutex_);
    received_.push_back(line);
  }
  if (options_.verbose) std::fprintf(stderr, "<- %s\n", line.c_str());
  ++commands_;
  std::vector<std::string> reply;
  if (options_.errorOn.contains(commands_)) {
    reply = {"ERROR"};
  } else {
    std::lock_guard lock(controllerMutex_);
    reply = controller_.Handle(line);
  }
  if (line.starts_with("AT+CPBR=")) {
    if (options_.bareOk) reply = {"OK"};
    if (options_.slotOffset != 0) {
      for (std::string& r : reply) {
        if (!r.starts_with("+CPBR: ")) continue;
        const size_t comma = r.find(',');
        r = "+CPBR: " + std::to_string(std::atoi(r.c_str() + 7) + options_.slotOffset) + r.substr(comma);
      }
    }
  }
  if (!options_.silent) Answer(reply);
  if (options_.unplugAfter > 0 && commands_ == options_.unplugAfter) unplugDue_ = true;
}

void Simulator::Answer(const std::vector<std::string>& lines) {
  if (options_.delayMs > 0 && !SleepFor(std::chrono::milliseconds(options_.delayMs))) return;
  if (options_.garbage) {
    // Digits and lower-case letters can never spell any of the upper-case
    // markers a reader looks for, nor a prompt or a line end.
    static constexpr std::string_view kNoise = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::uniform_int_distribution<size_t> length(2, 8), pick(0, kNoise.size() - 1);
    std::string noise(length(rng_), ' ');
    for (char& c : noise) c = kNoise[pick(rng_)];
    Send(noise);
  }
  if (options_.coalesce) {
    std::string all;
    for (const std::string& line : lines) all += line + "\r\n";
    Send(all);
  }
  for (size_t i = 0; i < lines.size() && !stopping_; ++i) {
    if (!options_.coalesce) {
      // The controller sends its lines back to back; the pause stands in for
      // the gaps a direct serial line shows, and behind an adapter its
      // batching takes that place.
      const bool gap = i > 0 && options_.lineGapMs > 0 && options_.usbLatencyMs <= 0;
      if (gap && !SleepFor(std::chrono::milliseconds(options_.lineGapMs))) return;
      Send(lines[i] + "\r\n");
    }
    if (options_.verbose) std::fprintf(stderr, "-> %s\n", lines[i].c_str());
  }
}

void Simulator::Send(std::string_view bytes) {
  if (options_.split && bytes.size() >= 2) {
    std::uniform_int_distribution<size_t> cut(1, bytes.size() - 1);
    const size_t at = cut(rng_);
    SendPaced(bytes.substr(0, at));
    if (!SleepFor(kSplitPause)) return;
    SendPaced(bytes.substr(at));
    return;
  }
  SendPaced(bytes);
}

void Simulator::SendPaced(std::string_view bytes) {
  if (options_.paceBaud <= 0) {
    Emit(bytes);
    return;
  }
  auto next = Clock::now();
  if (options_.usbLatencyMs > 0) {
    // The adapter holds a byte only once the line has carried all of it.
    for (char byte : bytes) {
      next += ByteTime();
      if (!SleepUntil(next)) return;
      Emit(std::string_view(&byte, 1));
    }
    return;
  }
  for (char byte : bytes) {
    if (!SleepUntil(next) || !WriteSome(std::string_view(&byte, 1))) return;
    next += ByteTime();
  }
  SleepUntil(next);  // the last byte too is on the wire for its time
}

void Simulator::Emit(std::string_view bytes) {
  if (options_.usbLatencyMs <= 0) {
    WriteSome(bytes);
    return;
  }
  if (adapterBuffer_.empty()) {
    const auto now = Clock::now();
    handOverDue_ = NextTick(now);
    lastProgress_ = now;
  }
  adapterBuffer_ += bytes;
}

Simulator::Clock::time_point Simulator::NextTick(Clock::time_point now) const {
  // The latency timer restarts with every transfer, so two handovers are
  // never closer than one period even when the worker wakes late.
  const auto period = std::chrono::milliseconds(options_.usbLatencyMs);
  return lastHandOver_ + period * ((now - lastHandOver_) / period + 1);
}

void Simulator::HandOver(Clock::time_point now) {
  if (adapterBuffer_.empty() || now < handOverDue_) return;
  // One write: the reader gets the whole batch at once, lines and all.
  const ssize_t n = ::write(master_, adapterBuffer_.data(), adapterBuffer_.size());
  if (n > 0) {
    adapterBuffer_.erase(0, size_t(n));
    lastProgress_ = now;
  } else if (now - lastProgress_ >= kWriteGiveUp) {
    // As WriteSome: nobody has been reading for long, the bytes are lost.
    if (options_.verbose) std::fprintf(stderr, "-- dropped %zu unread bytes\n", adapterBuffer_.size());
    adapterBuffer_.clear();
  }
  lastHandOver_ = now;
  // What the port did not take waits for the next transfer.
  if (!adapterBuffer_.empty()) handOverDue_ = NextTick(now);
}

int Simulator::Unread() const {
  int count = 0;
  return ::ioctl(slave_, FIONREAD, &count) == 0 ? count : 0;
}

void Simulator::Unplug() {
  // The model is a cable pulled between exchanges: a hang-up discards what
  // the port had not read, so the last reply is let through to the reader
  // first, unless nobody reads it.
  const auto giveUp = Clock::now() + kWriteGiveUp;
  for (int quiet = 0; quiet < kQuietChecks && Clock::now() < giveUp;) {
    if (!SleepFor(kRetryPause)) break;
    quiet = adapterBuffer_.empty() && Unread() == 0 ? quiet + 1 : 0;
  }
  // With the last descriptor of the master gone the kernel hangs the port up
  // and removes the device node, as the driver does for a pulled adapter.
  adapterBuffer_.clear();
  CloseFd(master_);
  CloseFd(slave_);
  if (options_.verbose) std::fprintf(stderr, "-- unplugged after %lld commands\n", commands_);
}

bool Simulator::WriteSome(std::string_view bytes) {
  auto giveUp = Clock::now() + kWriteGiveUp;
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(size_t(n));
      giveUp = Clock::now() + kWriteGiveUp;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // EAGAIN: the reader is behind; EIO: the line is down for a moment.
    if (Clock::now() >= giveUp) {
      if (options_.verbose) std::fprintf(stderr, "-- dropped %zu unread bytes\n", bytes.size());
      return false;
    }
    if (!SleepFor(kRetryPause)) return false;
  }
  return true;
}

}  // namespace sim
