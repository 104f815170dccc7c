// selvantrix-sim: a GSM relay controller on a pseudo-terminal, for trying the
// configurator without the hardware. The first line of standard output is the
// device to open; the program runs until SIGINT or SIGTERM.

#include <signal.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "sim/simulator.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: selvantrix-sim [--link PATH] [--pace BAUD] [--delay MS] [--silent] [--garbage]\n"
    "                      [--split] [--coalesce] [--usb MS] [--error-on N[,N...]]\n"
    "                      [--unplug-after N] [--bare-ok] [--slot-offset N] [--events N] [--state FILE]\n"
    "                      [--seed N] [-v]\n"
    "  --link PATH    also make PATH a symbolic link to the device (removed at exit)\n"
    "  --pace BAUD    bytes take their wire time at BAUD in both directions\n"
    "  --delay MS     wait MS milliseconds before each reply\n"
    "  --silent       never answer\n"
    "  --garbage      a few stray characters before each reply\n"
    "  --split        every write is cut in two\n"
    "  --coalesce     all lines of a reply in one write\n"
    "  --usb MS       behind a USB adapter: what is sent reaches the port in batches every MS\n"
    "                 milliseconds, several lines in one read\n"
    "  --error-on N[,N...]\n"
    "                 answer ERROR to the Nth command line (counted from 1) and do not carry it out\n"
    "  --unplug-after N\n"
    "                 once N commands are answered, pull the adapter: the port hangs up and the\n"
    "                 device disappears\n"
    "  --bare-ok      answer a phonebook read with OK alone, without its entry\n"
    "  --slot-offset N\n"
    "                 phonebook entries name the slot asked plus N (a controller off by N)\n"
    "  --events N     replace the event log with N generated calls\n"
    "  --state FILE   load the controller's memory from FILE if it exists; save it there at exit\n"
    "  --seed N       seed for everything random (default 1)\n"
    "  -v             log the lines both ways on standard error\n";

template <typename T>
bool ParseNumber(std::string_view text, T* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size() && *value >= 0;
}

// "3,7,12": positive numbers, comma-separated, added to `numbers`.
bool ParseNumberList(std::string_view text, std::set<long long>* numbers) {
  for (;;) {
    const size_t comma = text.find(',');
    long long number = 0;
    if (!ParseNumber(text.substr(0, comma), &number) || number == 0) return false;
    numbers->insert(number);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

int Usage(const std::string& message) {
  std::cerr << "selvantrix-sim: " << message << '\n' << kUsage;
  return kExitUsage;
}

// What a freshly unpacked controller looks like after its first setup: an
// administrator, a couple of allowed callers, its own number.
void SeedDemo(sim::Controller& c) {
  c.SetSlot(1, "600100200", "600100200");
  c.SetSlot(2, "501222333", "501222333");
  c.SetSlot(3, "602444555", "602444555");
  c.SetSlot(4, "733666777", "733666777");
  c.SetSlot(1002, "698765432", "");
  c.SetRelayCode(4);
}

}  // namespace

int main(int argc, char** argv) {
  sim::Simulator::Options options;
  std::string link, stateFile;
  int events = -1;  // -1: keep the log as loaded
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const auto number = [&](auto* target) {
      const char* text = value();
      return text && ParseNumber(text, target);
    };
    if (arg == "--link") {
      const char* text = value();
      if (!text || !*text) return Usage("--link needs a path");
      link = text;
    } else if (arg == "--state") {
      const char* text = value();
      if (!text || !*text) return Usage("--state needs a file");
      stateFile = text;
    } else if (arg == "--pace") {
      if (!number(&options.paceBaud) || options.paceBaud == 0) return Usage("--pace needs a positive baud rate");
    } else if (arg == "--delay") {
      if (!number(&options.delayMs)) return Usage("--delay needs milliseconds");
    } else if (arg == "--usb") {
      if (!number(&options.usbLatencyMs) || options.usbLatencyMs == 0) return Usage("--usb needs milliseconds");
    } else if (arg == "--error-on") {
      const char* text = value();
      if (!text || !ParseNumberList(text, &options.errorOn)) return Usage("--error-on needs command numbers");
    } else if (arg == "--unplug-after") {
      if (!number(&options.unplugAfter) || options.unplugAfter == 0) return Usage("--unplug-after needs a count");
    } else if (arg == "--events") {
      if (!number(&events)) return Usage("--events needs a count");
    } else if (arg == "--seed") {
      if (!number(&options.seed)) return Usage("--seed needs a number");
    } else if (arg == "--bare-ok") {
      options.bareOk = true;
    } else if (arg == "--slot-offset") {
      if (!number(&options.slotOffset)) return Usage("--slot-offset needs a number");
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--garbage") {
      options.garbage = true;
    } else if (arg == "--split") {
      options.split = true;
    } else if (arg == "--coalesce") {
      options.coalesce = true;
    } else if (arg == "-v") {
      options.verbose = true;
    } else {
      return Usage("unknown argument " + std::string(arg));
    }
  }

  // Blocked before the worker starts, so it inherits the mask and the signals
  // reach only the sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  sim::Simulator simulator(options);
  sim::Controller& controller = simulator.controller();
  std::error_code ec;
  if (!stateFile.empty() && std::filesystem::exists(stateFile, ec)) {
    std::string error;
    if (!controller.Load(stateFile, &error)) {
      std::cerr << "selvantrix-sim: " << error << '\n';
      return kExitFailed;
    }
  } else {
    SeedDemo(controller);
  }
  if (events >= 0) controller.GenerateEvents(events, options.seed);

  std::string error;
  if (!simulator.Start(&error)) {
    std::cerr << "selvantrix-sim: " << error << '\n';
    return kExitFailed;
  }
  const std::string device = simulator.DevicePath();
  if (!link.empty()) {
    const auto status = std::filesystem::symlink_status(link, ec);
    if (std::filesystem::exists(status) || std::filesystem::is_symlink(status)) std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(device, link, ec);
    if (ec) {
      std::cerr << "selvantrix-sim: cannot link " << link << ": " << ec.message() << '\n';
      return kExitFailed;
    }
  }
  std::cout << device << std::endl;

  int signalNumber = 0;
  while (sigwait(&stopSignals, &signalNumber) != 0) {
  }
  simulator.Stop();

  int code = 0;
  if (!link.empty() && std::filesystem::read_symlink(link, ec) == device) std::filesystem::remove(link, ec);
  if (!stateFile.empty() && !controller.Save(stateFile, &error)) {
    std::cerr << "selvantrix-sim: " << error << '\n';
    code = kExitFailed;
  }
  return code;
}
