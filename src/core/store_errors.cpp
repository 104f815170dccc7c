#include "core/store_errors.h"

#include "core/phone_number.h"
#include "core/user_interface.h"
#include "store/cursor.h"

void RequireOk(const store::Status& status) {
  if (!status.ok()) throw StoreError(status.message(), IsRefusal(status));
}

bool IsRefusal(const store::Status& status) { return status.code() == store::Status::Code::kUniqueViolation; }

bool PostRow(store::Cursor& cursor, Refusal refusal) {
  const store::Status posted = cursor.Post();
  if (posted.ok()) return true;
  cursor.Cancel();
  if (refusal == Refusal::kThrow || !IsRefusal(posted)) RequireOk(posted);
  return false;
}

bool CheckPhoneField(UserInterface& ui, const QString& text, int minLength, int maxLength, QString* normalised,
                     const std::function<void()>& showField) {
  QString number;
  if (NormalisePhoneNumber(text, maxLength, &number) && number.size() >= minLength) {
    if (normalised) *normalised = number;
    return true;
  }
  ui.ShowDialog(QString::fromUtf8(kBadPhoneMessage), kNotice);
  if (showField) showField();
  return false;
}
