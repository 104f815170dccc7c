#pragma once

#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

class UserInterface;

namespace store {
class Cursor;
class Status;
}  // namespace store

// A store failure on its way to the general error box. RequireOk words it
// in Polish (StoreMessage); the store's own English never reaches the user.
class StoreError : public std::runtime_error {
 public:
  StoreError(const std::string& message, bool refusal) : std::runtime_error(message), refusal_(refusal) {}
  // The store said no to a value (a duplicate number, say); the file is fine.
  bool refusal() const { return refusal_; }

 private:
  bool refusal_;
};

// Throws a StoreError, in Polish, for a failed status.
void RequireOk(const store::Status& status);

// The store's message in Polish, names and paths kept as they are. A
// message the table does not know says only that the database failed.
QString StoreMessage(const std::string& message);
// A system's cause of failure (an errno text as strerror or Qt gives it) in
// Polish; one it does not know is "nieznany błąd systemu".
QString SystemCause(const QString& cause);
// What the user is told when a number is already on the list.
QString DuplicatePhoneMessage(const QString& number);
// Whether a failed status is only the refusal of a value the unique index
// already holds. A closed table or a bad field name is a fault, not this.
bool IsRefusal(const store::Status& status);

// What a post does with a refused value: drop the row quietly (a number
// already listed, while importing or reading the controller), or throw it to
// the caller.
enum class Refusal { kDrop, kThrow };

// Posts the cursor's pending row; true when it is stored. A failure cancels
// the row. A refused value gives false or throws, as asked; any other failure
// always throws, so a failing disk never passes for "number already listed".
bool PostRow(store::Cursor& cursor, Refusal refusal = Refusal::kDrop);

inline constexpr const char* kBadPhoneMessage = "Niepoprawny numer telefonu";
// The shortest number the phone boxes take when a row or the settings are saved.
inline constexpr int kMinPhoneLength = 5;

// The phone field check: the text must be a number by NormalisePhoneNumber
// (core/phone_number.h) of at most `maxLength` and at least `minLength`
// characters once blanks and dashes are gone. Otherwise it is refused with a
// message, and `showField` brings the user to the box. A number taken goes
// into `normalised` (when given) as it is to be stored and sent.
bool CheckPhoneField(UserInterface& ui, const QString& text, int minLength, int maxLength, QString* normalised,
                     const std::function<void()>& showField);
