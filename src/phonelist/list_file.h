#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class Session;
class UserInterface;

inline constexpr const char* kListFileFilter = "Pliki (*.dat)";
inline constexpr const char* kImportClearQuestion = "Czy przed importem usunąć listę telefonów?";

// One line of a list file taken apart: first name, surname, phone, as bytes.
struct ListLine {
  std::string firstName;
  std::string surname;
  std::string phone;
};

// Splits on the first two "|"; whatever follows the second belongs to the
// phone, further "|" included. Nothing is trimmed or cut here.
ListLine SplitListLine(std::string_view line);

// The lines of a list file's bytes: CR LF, LF or CR end a line, a last line
// may lack its end, a byte 0 ends the file, blank lines count.
std::vector<std::string> SplitListFileLines(std::string_view bytes);

// Reads a list file; false with the file layer's message in `error`.
bool ReadListFile(const QString& path, std::vector<std::string>* lines, QString* error);

// "EKSPORTUJ LISTĘ TELEFONÓW" once the file is chosen: every row in the
// list's current order, one "first|surname|phone" line each, CR LF after
// every line. A cancel writes the lines gathered so far.
void ExportList(Session& session, UserInterface& ui, const QString& path);

// How an import ends: "Zaimportowano 120 numerów", and when lines were left
// out ", pominięto 3 wiersze z niepoprawnym numerem telefonu".
inline constexpr const char* kImportedMessage = "Zaimportowano ";
inline constexpr const char* kSkippedMessage = ", pominięto %1 z niepoprawnym numerem telefonu";

// "IMPORTUJ LISTĘ TELEFONÓW" once the file is chosen: asks whether to clear
// the list first, then appends a row per line. The file is read before the
// list is touched, so a file that cannot be read costs nothing. A line whose
// phone is no well-formed number (NormalisePhoneNumber; its length is not
// judged here) is skipped and counted, an empty line passes unnoticed, and
// the phone is stored without its blanks and dashes. It ends by telling how
// many numbers went in: as an outcome when every line was taken, as a notice
// with the count of lines left out otherwise.
void ImportList(Session& session, UserInterface& ui, const QString& path);
