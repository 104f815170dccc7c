#include "sim/controller.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>
#include <system_error>

namespace sim {

namespace {

constexpr std::string_view kOk = "OK";
constexpr std::string_view kError = "ERROR";
constexpr std::string_view kStateMagic = "selvantrix-sim-state";
constexpr std::string_view kStateVersion = "1";

// The controller's own settings live in these slots; the caller list must
// never spill into them, nor lose them to a "remove this number" request.
constexpr std::array<int, 5> kReservedSlots = {1001, 1002, 1003, 1023, 1024};
constexpr int kFirstListSlot = 2;

bool IsReserved(int slot) {
  return std::find(kReservedSlots.begin(), kReservedSlots.end(), slot) != kReservedSlots.end();
}

// Decimal digits only, leading zeros allowed. Values beyond any slot or count
// the controller knows saturate instead of overflowing.
bool ParseDigits(std::string_view text, long long* value) {
  if (text.empty()) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = std::min(v * 10 + (c - '0'), 1'000'000'000'000LL);
  }
  *value = v;
  return true;
}

bool ParseInteger(std::string_view text, long long* value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (!ParseDigits(text, value)) return false;
  if (negative) *value = -*value;
  return true;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t comma = text.find(',');
    fields.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

void DropSemicolon(std::string& text) {
  if (!text.empty() && text.back() == ';') text.pop_back();
}

std::vector<std::string> Reply(std::string_view word) { return {std::string(word)}; }

// Minutes since 2026-01-01 00:00 as yymmddhhmm.
std::string Stamp2026(int minutes) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int day = minutes / (24 * 60);
  const int ofDay = minutes % (24 * 60);
  int month = 0;
  while (month < 11 && day >= kDays[month]) day -= kDays[month++];
  char text[32];
  std::snprintf(text, sizeof text, "26%02d%02d%02d%02d", month + 1, day + 1, ofDay / 60, ofDay % 60);
  return text;
}

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case '\\': *out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

}  // namespace

Controller::Controller() : slots_(kLastSlot + 1) {}

std::string Controller::Number(int slot) const {
  return slot >= 0 && slot <= kLastSlot ? slots_[slot].number : std::string();
}

std::string Controller::Name(int slot) const {
  return slot >= 0 && slot <= kLastSlot ? slots_[slot].name : std::string();
}

void Controller::SetSlot(int slot, std::string number, std::string name) {
  if (slot < 0 || slot > kLastSlot) return;
  slots_[slot] = {std::move(number), std::move(name)};
}

void Controller::AddEvent(std::string number, std::string yymmddhhmm) {
  events_.emplace_back(std::move(number), std::move(yymmddhhmm));
}

std::vector<std::string> Controller::Handle(const std::string& line) {
  const std::string_view text = line;
  if (text.starts_with("AT+CPBR=")) return ReadSlot(line.substr(8));
  if (text.starts_with("AT+CPBW=")) return WriteSlot(line.substr(8));
  if (text.starts_with("AT+CPBM=")) return Service(line.substr(8));
  return Reply(kError);
}

std::string Controller::Entry(int slot) const {
  const Slot& s = slots_[slot];
  const int type = s.number.starts_with('+') ? 145 : 129;
  return "+CPBR: " + std::to_string(slot) + ",\"" + s.number + "\"," + std::to_string(type) + ",\"" + s.name + "\"";
}

std::vector<std::string> Controller::ReadSlot(const std::string& args) const {
  long long n = 0;
  if (!ParseDigits(args, &n)) return Reply(kError);
  if (n == 3001) return {"SYS: 1," + std::to_string(relayCode_) + ",0", std::string(kOk)};
  if (n == 3003) return {Entry(1001), Entry(1002), Entry(1003), Entry(0), std::string(kOk)};
  if (n > kLastSlot) return Reply(kError);
  return {Entry(int(n)), std::string(kOk)};
}

// n,"number",type,"text" — the text is everything between the quote after the
// third comma and the final quote, so a name may itself hold quotes or commas.
std::vector<std::string> Controller::WriteSlot(std::string args) {
  DropSemicolon(args);
  const std::string_view text = args;
  const size_t comma = text.find(',');
  long long n = 0;
  if (comma == std::string_view::npos || !ParseDigits(text.substr(0, comma), &n) || n > kLastSlot) return Reply(kError);
  std::string_view rest = text.substr(comma + 1);
  if (!rest.starts_with('"')) return Reply(kError);
  const size_t close = rest.find('"', 1);
  if (close == std::string_view::npos) return Reply(kError);
  const std::string_view number = rest.substr(1, close - 1);
  rest.remove_prefix(close + 1);
  if (!rest.starts_with(',')) return Reply(kError);
  rest.remove_prefix(1);
  const size_t typeEnd = rest.find(',');
  long long type = 0;
  if (typeEnd == std::string_view::npos || !ParseDigits(rest.substr(0, typeEnd), &type)) return Reply(kError);
  rest.remove_prefix(typeEnd + 1);
  if (rest.size() < 2 || !rest.starts_with('"') || !rest.ends_with('"')) return Reply(kError);
  SetSlot(int(n), std::string(number), std::string(rest.substr(1, rest.size() - 2)));
  return Reply(kOk);
}

std::vector<std::string> Controller::Service(std::string args) {
  DropSemicolon(args);
  const std::vector<std::string_view> fields = SplitCommas(args);
  long long code = 0;
  if (fields.size() == 1) {
    if (!ParseInteger(fields[0], &code)) return Reply(kError);
    if (code == 1023 || code == 1024) {
      const Slot& s = slots_[code];
      return {"+CPBR: " + std::to_string(code) + ",\"" + s.number + "\",129,\"" + s.name + "\"", std::string(kOk)};
    }
    return EventLog(code);
  }
  if (fields.size() != 3 || !ParseDigits(fields[0], &code)) return Reply(kError);
  const std::string value(fields[1]);
  switch (code) {
    case 1015: {
      if (value.empty()) return Reply(kError);
      for (int slot = kFirstListSlot; slot <= kLastSlot; ++slot) {
        const std::string& number = slots_[slot].number;
        if (!IsReserved(slot) && (number == kNeverWritten || number == kCleared)) {
          SetSlot(slot, value, value);
          return Reply(kOk);
        }
      }
      return Reply(kError);
    }
    case 1016:
      if (value.empty()) return Reply(kError);
      for (int slot = kFirstListSlot; slot <= kLastSlot; ++slot)
        if (!IsReserved(slot) && slots_[slot].number == value) SetSlot(slot, kCleared, "");
      return Reply(kOk);
    case 1021: {
      long long relay = 0;
      if (!ParseDigits(value, &relay) || relay < 3 || relay > 10) return Reply(kError);
      relayCode_ = int(relay);
      return Reply(kOk);
    }
    case 1012: slots_[1002].number = value; return Reply(kOk);
    case 1023:
    case 1024: slots_[code].number = value; return Reply(kOk);
    case 1004: reminder_ = std::string(fields[2]); return Reply(kOk);
    default: return Reply(kError);
  }
}

std::vector<std::string> Controller::EventLog(long long count) const {
  std::vector<std::string> lines;
  const size_t take = count <= 0 ? 0 : size_t(std::min<long long>(count, (long long)events_.size()));
  // No blank after the marker: the configurator takes the number exactly as
  // it stands there, and only "999999999" itself ends the log.
  for (size_t i = events_.size() - take; i < events_.size(); ++i)
    lines.push_back("CPBM:" + events_[i].first + "," + events_[i].second);
  lines.push_back("CPBM:999999999,0000000000");
  lines.push_back(std::string(kOk));
  return lines;
}

void Controller::GenerateEvents(int count, std::uint64_t seed) {
  events_.clear();
  if (count <= 0) return;
  std::mt19937_64 rng(seed);
  // A handful of regular callers makes the log look like a real gate's.
  const int poolSize = std::clamp(count / 3, 3, 40);
  std::vector<std::string> pool;
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> prefix(0, 2);
  for (int i = 0; i < poolSize; ++i) {
    std::string number(1, "567"[prefix(rng)]);
    for (int d = 0; d < 8; ++d) number += char('0' + digit(rng));
    pool.push_back(number);
  }
  constexpr int kYear = 365 * 24 * 60;
  const int meanStep = std::max(1, kYear / (count + 1));
  std::uniform_int_distribution<int> step(1, std::max(1, 2 * meanStep - 1));
  std::uniform_int_distribution<int> caller(0, poolSize - 1);
  int minute = 0;
  for (int i = 0; i < count; ++i) {
    // Leave a minute for every call still to come, so the times keep rising
    // to the end of the year; only a log longer than the year's minutes
    // repeats its last one rather than roll into 2027.
    const int room = kYear - 1 - minute - (count - 1 - i);
    minute = std::min(minute + std::clamp(step(rng), 1, std::max(1, room)), kYear - 1);
    AddEvent(pool[caller(rng)], Stamp2026(minute));
  }
}

bool Controller::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, path + ": cannot open");
  Controller loaded;
  bool sawHeader = false;
  int lineNo = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    const auto bad = [&](const std::string& why) {
      return Fail(error, path + ":" + std::to_string(lineNo) + ": " + why);
    };
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      std::string field;
      if (!Unescape(std::string_view(line).substr(start, tab - start), &field)) return bad("bad escape");
      fields.push_back(std::move(field));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    const std::string& kind = fields[0];
    if (!sawHeader) {
      if (kind != kStateMagic || fields.size() != 2) return bad("not a selvantrix-sim state file");
      if (fields[1] != kStateVersion) return bad("unknown state file version " + fields[1]);
      sawHeader = true;
      continue;
    }
    long long n = 0;
    if (kind == "relay" && fields.size() == 2 && ParseDigits(fields[1], &n) && n <= 1000) {
      loaded.relayCode_ = int(n);
    } else if (kind == "reminder" && fields.size() == 2) {
      loaded.reminder_ = fields[1];
    } else if (kind == "slot" && fields.size() == 4 && ParseDigits(fields[1], &n) && n <= kLastSlot) {
      loaded.SetSlot(int(n), fields[2], fields[3]);
    } else if (kind == "event" && fields.size() == 3) {
      loaded.AddEvent(fields[1], fields[2]);
    } else {
      return bad("unrecognised record");
    }
  }
  if (in.bad()) return Fail(error, path + ": read error");
  if (!sawHeader) return Fail(error, path + ": not a selvantrix-sim state file");
  *this = std::move(loaded);
  return true;
}

bool Controller::Save(const std::string& path, std::string* error) const {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(error, temp + ": cannot create");
    out << kStateMagic << '\t' << kStateVersion << '\n';
    out << "relay\t" << relayCode_ << '\n';
    out << "reminder\t" << Escape(reminder_) << '\n';
    for (int slot = 0; slot <= kLastSlot; ++slot) {
      const Slot& s = slots_[slot];
      if (s.number == kNeverWritten && s.name.empty()) continue;
      out << "slot\t" << slot << '\t' << Escape(s.number) << '\t' << Escape(s.name) << '\n';
    }
    for (const auto& [number, stamp] : events_) out << "event\t" << Escape(number) << '\t' << Escape(stamp) << '\n';
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return Fail(error, temp + ": write error");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return Fail(error, path + ": cannot replace: " + ec.message());
  }
  return true;
}

}  // namespace sim
