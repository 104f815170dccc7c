#include "tdb/tdb.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "schema/schema.h"
#include "store/collation.h"
#include "store/compact.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/table.h"

namespace {

using store::FieldDefinition;
using store::FieldType;
using store::Status;

constexpr std::string_view kPrefix = "selvantrix-tdb: ";
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: selvantrix-tdb COMMAND ARGUMENTS\n"
    "  init FILE                        create the configurator's database; FILE must not exist\n"
    "  info FILE                        version, then per table its rows, fields and indexes\n"
    "  rows FILE TABLE [--order INDEX] [--numbers]\n"
    "                                   one line per live row, values in field order separated\n"
    "                                   by TAB; --numbers puts the row number first\n"
    "  append FILE TABLE VALUE...       append one row, one value per field in field order\n"
    "  append FILE TABLE -              append one row per line of standard input, values\n"
    "                                   separated by TAB; refused lines are reported, the rest go in\n"
    "  delete FILE TABLE ROWNO          delete the row with that number in the file (0-based)\n"
    "  check FILE                       verify every table; prints ok or one line per problem\n"
    "  compact FILE                     rewrite FILE to its minimal size (rows are numbered anew);\n"
    "                                   refused while another program has it open\n"
    "Texts are UTF-8 here and Windows-1250 in the file. In the lines of rows and\n"
    "append -, a TAB inside a text is written \\t, a line feed \\n, a carriage return\n"
    "\\r and a backslash \\\\; values given on the command line are taken as they are.\n"
    "Exit status: 0 done, 1 failed, 2 bad usage.\n";

// A command line the tool cannot make sense of: exit 2, with the usage.
struct UsageError {
  std::string message;
};

// An operation that failed: exit 1, the message as it stands.
struct Failure {
  std::string message;
};

void Require(const Status& s) {
  if (!s.ok()) throw Failure{s.message()};
}

void ExpectArguments(const std::vector<std::string>& args, size_t count, std::string_view form) {
  if (args.size() != count) throw UsageError{"expected: " + std::string(form)};
}

// Names and texts in the file are code-page bytes; the command line and the
// terminal speak UTF-8.
std::string ToUtf8(std::string_view bytes) { return store::Windows1250ToUtf8(bytes); }
std::string ToCodePage(std::string_view utf8) { return store::Utf8ToWindows1250(utf8); }

std::shared_ptr<store::Database> OpenDatabase(const std::string& path) {
  std::shared_ptr<store::Database> db;
  Require(store::Database::Open(path, store::Database::Options{}, &db));
  return db;
}

// --- Escapes: each row stays one line, and what rows writes append - reads back.

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c; break;
    }
  }
  return out;
}

// Undoes Escape; any other backslash sequence is refused rather than guessed at.
bool Unescape(std::string_view text, std::string* out, std::string* why) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) {
      *why = "a backslash ends the value '" + std::string(text) + "' (write \\\\ for one)";
      return false;
    }
    switch (text[i]) {
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case '\\': *out += '\\'; break;
      default: *why = "unknown escape '\\" + std::string(1, text[i]) + "' in '" + std::string(text) + "'"; return false;
    }
  }
  return true;
}

std::vector<std::string> SplitTabs(std::string_view line) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    parts.emplace_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return parts;
    start = tab + 1;
  }
}

// --- Values: checked here, because the cursor would quietly cut a long text,
// take garbage as 0 and wrap an integer that does not fit.

struct FieldValue {
  bool number = false;
  std::int64_t integer = 0;
  std::string text;  // code-page bytes
};

// Decimal with an optional sign, nothing else around it.
bool ParseDecimal(std::string_view text, std::int64_t* out) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// What an integer field holds; nothing for the types this tool does not write.
std::optional<std::pair<std::int64_t, std::int64_t>> IntegerRange(FieldType type) {
  using Limits16 = std::numeric_limits<std::int16_t>;
  using Limits32 = std::numeric_limits<std::int32_t>;
  using Limits64 = std::numeric_limits<std::int64_t>;
  switch (type) {
    case FieldType::kInt16: return std::pair<std::int64_t, std::int64_t>{Limits16::min(), Limits16::max()};
    case FieldType::kUInt16: return std::pair<std::int64_t, std::int64_t>{0, std::numeric_limits<std::uint16_t>::max()};
    case FieldType::kBoolean: return std::pair<std::int64_t, std::int64_t>{0, 1};
    case FieldType::kInt32:
    case FieldType::kAutoInc:
    case FieldType::kDate:
    case FieldType::kTime: return std::pair<std::int64_t, std::int64_t>{Limits32::min(), Limits32::max()};
    case FieldType::kInt64: return std::pair<std::int64_t, std::int64_t>{Limits64::min(), Limits64::max()};
    default: return std::nullopt;
  }
}

// Empty when `utf8` fits field `f` (then it is in *out); otherwise why not.
std::string ConvertValue(const FieldDefinition& f, const std::string& utf8, FieldValue* out) {
  const std::string field = "field '" + ToUtf8(f.name) + "'";
  if (store::IsTextType(f.type)) {
    std::string bytes = ToCodePage(utf8);
    // The converter puts "?" for what the code page lacks; a value that does
    // not come back unchanged would be stored as something else.
    if (ToUtf8(bytes) != utf8) return "value '" + utf8 + "' of " + field + " has characters Windows-1250 lacks";
    if (bytes.find('\0') != std::string::npos) return "value of " + field + " holds a zero byte";
    if (bytes.size() > size_t(f.size)) {
      return "value '" + utf8 + "' is longer than the " + std::to_string(f.size) + " characters of " + field;
    }
    out->number = false;
    out->text = std::move(bytes);
    return {};
  }
  const auto range = IntegerRange(f.type);
  if (!range) return field + " is of type " + std::to_string(int(f.type)) + ", which this tool does not write";
  std::int64_t n = 0;  // an empty value is the field's empty value, 0
  if (!utf8.empty() && !ParseDecimal(utf8, &n)) return "value '" + utf8 + "' of " + field + " is not a decimal integer";
  if (n < range->first || n > range->second) return "value '" + utf8 + "' is out of range for " + field;
  out->number = true;
  out->integer = n;
  return {};
}

std::string ConvertRow(const std::vector<FieldDefinition>& fields, const std::vector<std::string>& values,
                       std::vector<FieldValue>* out) {
  out->assign(fields.size(), FieldValue{});
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string why = ConvertValue(fields[i], values[i], &(*out)[i]);
    if (!why.empty()) return why;
  }
  return {};
}

Status AppendRow(store::Cursor& cursor, const std::vector<FieldDefinition>& fields,
                 const std::vector<FieldValue>& values) {
  Status s = cursor.Append();
  for (size_t i = 0; s.ok() && i < fields.size(); ++i) {
    s = values[i].number ? cursor.SetInt(fields[i].name, values[i].integer)
                         : cursor.SetText(fields[i].name, values[i].text);
  }
  if (s.ok()) s = cursor.Post();
  // A refused row stays pending in the cursor; the next Append would post it.
  if (!s.ok()) cursor.Cancel();
  return s;
}

std::string FieldList(const std::vector<FieldDefinition>& fields) {
  std::string names;
  for (const FieldDefinition& f : fields) names += (names.empty() ? "" : ", ") + ToUtf8(f.name);
  return names;
}

// --- Commands.

int Init(const std::vector<std::string>& args) {
  namespace fs = std::filesystem;
  ExpectArguments(args, 1, "init FILE");
  const std::string& path = args[0];
  const std::string taken = "'" + path + "' exists already; init never replaces a database";
  std::error_code ignored;
  if (fs::exists(fs::symlink_status(path, ignored))) throw Failure{taken};

  // Built under a name of its own, then put in place with a hard link, which
  // unlike a rename fails when the name is taken: a database that appeared
  // since the check above (a configurator's first start, say) is never replaced.
  std::random_device seed;
  const std::string temporary = path + ".init-" + std::to_string(seed());
  Require(CreateConfiguratorDatabase(temporary));
  std::error_code linkError;
  fs::create_hard_link(temporary, path, linkError);
  if (!linkError) {
    fs::remove(temporary, ignored);
    return 0;
  }
  if (linkError == std::errc::file_exists || fs::exists(fs::symlink_status(path, ignored))) {
    fs::remove(temporary, ignored);
    throw Failure{taken};
  }
  // A file system without hard links: the rename is the best there is.
  std::error_code renameError;
  fs::rename(temporary, path, renameError);
  if (renameError) {
    fs::remove(temporary, ignored);
    throw Failure{"Cannot create file " + path + ": " + renameError.message()};
  }
  return 0;
}

std::string IndexOptionNames(std::uint8_t options) {
  static const std::pair<std::uint8_t, const char*> kNames[] = {{store::kIndexPrimary, "primary"},
                                                                {store::kIndexUnique, "unique"},
                                                                {store::kIndexDescending, "descending"},
                                                                {store::kIndexCaseInsensitive, "case-insensitive"}};
  std::string names;
  for (const auto& [bit, name] : kNames) {
    if (options & bit) names += (names.empty() ? "" : ",") + std::string(name);
  }
  return names.empty() ? "" : " (" + names + ")";
}

int Info(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ExpectArguments(args, 1, "info FILE");
  std::shared_ptr<store::Database> db = OpenDatabase(args[0]);
  std::vector<std::string> names;
  Require(db->TableNames(&names));
  out << "version " << db->version() << "\n";
  int code = 0;
  for (const std::string& name : names) {
    std::unique_ptr<store::TableData> table;
    const Status s = db->LoadTable(name, &table);
    if (!s.ok()) {
      // The other tables are still worth showing.
      err << kPrefix << s.message() << "\n";
      code = kExitFailed;
      continue;
    }
    const store::TableHeader& h = table->header();
    out << "table " << ToUtf8(h.name) << "\n";
    out << "  rows " << table->LiveCount() << " live, " << h.rowCount << " appended\n";
    for (const FieldDefinition& f : h.fields) {
      out << "  field " << ToUtf8(f.name) << " " << int(f.type) << " " << f.size << "\n";
    }
    for (const store::IndexDefinition& index : h.indexes) {
      std::string fields;
      for (std::int32_t slot : index.fields)
        fields += (fields.empty() ? "" : ";") + ToUtf8(h.fields[size_t(slot)].name);
      out << "  index " << ToUtf8(index.name) << " options " << int(index.options) << IndexOptionNames(index.options)
          << " fields " << fields << "\n";
    }
  }
  return code;
}

int Rows(const std::vector<std::string>& args, std::ostream& out) {
  std::vector<std::string> positional;
  std::optional<std::string> order;
  bool numbers = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--order") {
      if (i + 1 == args.size()) throw UsageError{"--order needs an index name"};
      order = args[++i];
    } else if (args[i] == "--numbers") {
      numbers = true;
    } else if (args[i].size() > 2 && args[i].starts_with("--")) {
      throw UsageError{"unknown option '" + args[i] + "'"};
    } else {
      positional.push_back(args[i]);
    }
  }
  ExpectArguments(positional, 2, "rows FILE TABLE [--order INDEX] [--numbers]");

  store::Cursor cursor(OpenDatabase(positional[0]), ToCodePage(positional[1]));
  if (order) Require(cursor.SetOrder(ToCodePage(*order)));
  Require(cursor.Open());
  // The cursor falls back to the natural order for a name it does not know;
  // a script asking for an order must not get another one silently.
  if (order && cursor.table()->IndexSlot(ToCodePage(*order)) < 0) {
    throw Failure{"Index '" + *order + "' not found in table '" + positional[1] + "'"};
  }
  const std::vector<FieldDefinition> fields = cursor.table()->header().fields;
  std::string line, value;
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    line.clear();
    if (numbers) line += std::to_string(cursor.RowNumber()) + "\t";
    for (size_t i = 0; i < fields.size(); ++i) {
      Require(cursor.GetText(fields[i].name, &value));
      if (i > 0) line += '\t';
      line += Escape(ToUtf8(value));
    }
    line += '\n';
    out << line;
  }
  return 0;
}

// One row per line; a refused line is reported and the others go on, but a
// failing file (write error, lock, damage) stops the run: every later line
// would fail the same way.
int AppendLines(store::Cursor& cursor, const std::vector<FieldDefinition>& fields, std::istream& in,
                std::ostream& err) {
  std::string line, why;
  std::vector<FieldValue> converted;
  int number = 0, refused = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a file saved with CR LF line ends
    std::vector<std::string> values = SplitTabs(line);
    why.clear();
    if (values.size() != fields.size()) {
      why = "expected " + std::to_string(fields.size()) + " values (" + FieldList(fields) + "), got " +
            std::to_string(values.size());
    }
    for (size_t i = 0; why.empty() && i < values.size(); ++i) {
      std::string raw = std::move(values[i]);
      Unescape(raw, &values[i], &why);
    }
    if (why.empty()) why = ConvertRow(fields, values, &converted);
    bool stop = false;
    if (why.empty()) {
      const Status s = AppendRow(cursor, fields, converted);
      why = s.message();
      stop = !s.ok() && s.code() != Status::Code::kInvalidArgument && s.code() != Status::Code::kUniqueViolation &&
             s.code() != Status::Code::kNotFound;
    }
    if (why.empty()) continue;
    ++refused;
    err << kPrefix << "line " << number << ": " << why << "\n";
    if (stop) {
      err << kPrefix << "stopped at line " << number << "; the lines after it were not read\n";
      return kExitFailed;
    }
  }
  if (in.bad()) throw Failure{"cannot read standard input"};
  if (refused == 0) return 0;
  err << kPrefix << refused << " of " << number << " lines refused\n";
  return kExitFailed;
}

int Append(const std::vector<std::string>& args, std::istream& in, std::ostream& err) {
  if (args.size() < 3) throw UsageError{"expected: append FILE TABLE VALUE... or append FILE TABLE -"};
  std::shared_ptr<store::Database> db = OpenDatabase(args[0]);
  store::Cursor cursor(db, ToCodePage(args[1]));
  Require(cursor.Open());
  // A copy: a reload after another writer replaces the table's header.
  const std::vector<FieldDefinition> fields = cursor.table()->header().fields;
  if (args.size() == 3 && args[2] == "-") {
    // Checked once here, or every line would be refused for it.
    if (db->ReadOnly()) throw Failure{"Database file '" + args[0] + "' is read-only"};
    return AppendLines(cursor, fields, in, err);
  }
  const std::vector<std::string> values(args.begin() + 2, args.end());
  if (values.size() != fields.size()) {
    throw UsageError{"table '" + args[1] + "' has " + std::to_string(fields.size()) + " fields (" + FieldList(fields) +
                     "), " + std::to_string(values.size()) + " values given"};
  }
  std::vector<FieldValue> converted;
  const std::string why = ConvertRow(fields, values, &converted);
  if (!why.empty()) throw Failure{why};
  Require(AppendRow(cursor, fields, converted));
  return 0;
}

int Delete(const std::vector<std::string>& args) {
  ExpectArguments(args, 3, "delete FILE TABLE ROWNO");
  std::int64_t row = -1;
  if (args[2].empty() || args[2].front() == '+' || !ParseDecimal(args[2], &row) || row < 0 ||
      row > std::numeric_limits<std::int32_t>::max()) {
    throw UsageError{"ROWNO must be a row number (0, 1, ...), not '" + args[2] + "'"};
  }
  store::Cursor cursor(OpenDatabase(args[0]), ToCodePage(args[1]));
  Require(cursor.Open());
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    if (cursor.RowNumber() != row) continue;
    Require(cursor.Delete());
    return 0;
  }
  throw Failure{"row " + args[2] + " of table '" + args[1] + "' does not exist or is deleted"};
}

int Check(const std::vector<std::string>& args, std::ostream& out) {
  ExpectArguments(args, 1, "check FILE");
  std::vector<std::string> problems;
  std::shared_ptr<store::Database> db;
  Status s = store::Database::Open(args[0], store::Database::Options{}, &db);
  std::vector<std::string> names;
  if (s.ok()) s = db->TableNames(&names);
  if (!s.ok()) problems.push_back(s.message());
  for (size_t i = 0; i < names.size(); ++i) {
    // Tables are found by name, so a second table of the same name could
    // never be reached.
    bool duplicate = false;
    for (size_t k = 0; k < i && !duplicate; ++k) duplicate = store::SameName(names[k], names[i]);
    if (duplicate) {
      problems.push_back("table '" + names[i] + "' appears twice in the table directory");
      continue;
    }
    std::unique_ptr<store::TableData> table;
    s = db->LoadTable(names[i], &table);
    if (!s.ok()) {
      problems.push_back(s.message());
      continue;
    }
    for (std::string& problem : table->Verify()) problems.push_back(std::move(problem));
  }
  if (problems.empty()) {
    out << "ok\n";
    return 0;
  }
  for (const std::string& problem : problems) out << problem << "\n";
  return kExitFailed;
}

int Compact(const std::vector<std::string>& args, std::ostream& out) {
  ExpectArguments(args, 1, "compact FILE");
  store::CompactResult result;
  Require(store::CompactFile(args[0], store::CompactOptions{}, &result));
  if (!result.compacted) {
    out << "already compact: " << result.before.fileSize << " bytes\n";
    return 0;
  }
  out << "compacted: " << result.before.fileSize << " bytes, now " << result.sizeAfter << "\n";
  return 0;
}

}  // namespace

int RunTdb(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
      out << kUsage;
      return 0;
    }
    if (command == "init") return Init(rest);
    if (command == "info") return Info(rest, out, err);
    if (command == "rows") return Rows(rest, out);
    if (command == "append") return Append(rest, in, err);
    if (command == "delete") return Delete(rest);
    if (command == "check") return Check(rest, out);
    if (command == "compact") return Compact(rest, out);
    throw UsageError{"unknown command '" + command + "'"};
  } catch (const UsageError& e) {
    err << kPrefix << e.message << "\n" << kUsage;
    return kExitUsage;
  } catch (const Failure& e) {
    err << kPrefix << e.message << "\n";
  } catch (const std::exception& e) {
    err << kPrefix << e.what() << "\n";
  } catch (...) {
    err << kPrefix << "unexpected error\n";
  }
  return kExitFailed;
}
