#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The command logic and memory of a GSM relay controller, with no I/O: a line
// goes in, the reply lines come out. The simulator drives it from a
// pseudo-terminal, and tests drive it directly.
//
// Memory: phonebook slots 0..2000, each a number and a name. Slot 1 is the
// administrator, slots from 2 the list of allowed callers, and 1001, 1002,
// 1003, 1023 and 1024 hold the controller's own settings (1002 its own phone,
// 1023/1024 the host settings). A slot never written reads "4294967295", a
// cleared one "999999999". Besides the slots: the relay code (3..10, 4 from
// the factory), the SIM reminder date text, and the event log of
// (number, "yymmddhhmm") entries, newest last.
//
// State file (Save/Load): UTF-8 text, one record per line, fields separated by
// TAB; inside a field a TAB is written \t, a line feed \n, a carriage return
// \r and a backslash \\. Blank lines and lines starting with '#' are skipped.
//   selvantrix-sim-state<TAB>1          first record, the format version
//   relay<TAB>CODE
//   reminder<TAB>TEXT
//   slot<TAB>N<TAB>NUMBER<TAB>NAME      only slots that differ from never written
//   event<TAB>NUMBER<TAB>YYMMDDHHMM     in log order, oldest first
// Whatever a file leaves out keeps its factory value.
class Controller {
 public:
  static constexpr int kLastSlot = 2000;
  static constexpr const char* kNeverWritten = "4294967295";
  static constexpr const char* kCleared = "999999999";
  static constexpr int kDefaultRelayCode = 4;

  Controller();

  // `line` is one received command without its CR; the result is the reply,
  // one element per line, without line ends.
  std::vector<std::string> Handle(const std::string& line);

  // Out-of-range slots read as empty texts and ignore writes.
  std::string Number(int slot) const;
  std::string Name(int slot) const;
  void SetSlot(int slot, std::string number, std::string name);

  int RelayCode() const { return relayCode_; }
  void SetRelayCode(int code) { relayCode_ = code; }
  std::string Reminder() const { return reminder_; }

  void AddEvent(std::string number, std::string yymmddhhmm);
  const std::vector<std::pair<std::string, std::string>>& Events() const { return events_; }
  // Replaces the log with `count` calls from a few mobile numbers (9 digits
  // starting 5, 6 or 7) at increasing times within 2026; the same seed gives
  // the same log.
  void GenerateEvents(int count, std::uint64_t seed);

  // Load replaces the whole state with the file's; on failure it leaves the
  // state alone and says why in *error (when error is not null).
  bool Load(const std::string& path, std::string* error);
  // Writes a sibling temporary file first and renames it over `path`, so a
  // crash never leaves half a state behind.
  bool Save(const std::string& path, std::string* error) const;

 private:
  struct Slot {
    std::string number = kNeverWritten;
    std::string name;
  };

  std::string Entry(int slot) const;
  std::vector<std::string> ReadSlot(const std::string& args) const;
  std::vector<std::string> WriteSlot(std::string args);
  std::vector<std::string> Service(std::string args);
  std::vector<std::string> EventLog(long long count) const;

  std::vector<Slot> slots_;
  int relayCode_ = kDefaultRelayCode;
  std::string reminder_;
  std::vector<std::pair<std::string, std::string>> events_;
};

}  // namespace sim
