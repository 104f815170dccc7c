#include "serial/line_framer.h"

namespace {
constexpr QByteArrayView kLineEnd("\r\n");
}  // namespace

void LineFramer::Append(QByteArrayView bytes) {
  const qsizetype prompt = bytes.lastIndexOf('>');
  if (prompt >= 0) {
    prompt_ = true;
    // Complete lines up to the prompt stay; the unfinished text before it goes.
    pending_ += bytes.first(prompt);
    const qsizetype lastEnd = pending_.lastIndexOf(kLineEnd);
    pending_.truncate(lastEnd < 0 ? 0 : lastEnd + 2);
    bytes = bytes.sliced(prompt + 1);
  }
  pending_ += bytes;
  if (pending_.size() > kMaxPending) pending_.remove(0, pending_.size() - kMaxPending);
}

bool LineFramer::TakePrompt() {
  const bool seen = prompt_;
  prompt_ = false;
  return seen;
}

bool LineFramer::Next(QByteArray* line) {
  const qsizetype end = pending_.indexOf(kLineEnd);
  if (end < 0) return false;
  *line = pending_.left(end);
  pending_.remove(0, end + 2);
  return true;
}

void LineFramer::PutBack(const QByteArray& line) { pending_.prepend(line + "\r\n"); }
