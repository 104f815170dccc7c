#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Cuts the bytes of a serial line into complete lines. A controller behind a
// USB adapter hands over whatever arrived in its latency window: half a line,
// or an entry and its "OK" at once. The framer keeps the unfinished tail for
// the next read and gives every complete line, in order, whatever the reads
// looked like.
class LineFramer {
 public:
  // Text that never ends its line is kept at most this long, so a device
  // babbling without line ends cannot fill the memory.
  static constexpr qsizetype kMaxPending = 64 * 1024;

  // Adds received bytes. A prompt ">" anywhere in the text not yet taken
  // throws that text away: the controller waits for input, and nothing
  // before it will ever end its line. Lines complete before the prompt in
  // the same bytes are kept.
  void Append(QByteArrayView bytes);

  // Whether a prompt came since the last call; clears it.
  bool TakePrompt();

  // The next complete line without its CR LF; false when none is complete.
  bool Next(QByteArray* line);
  // Gives the line just taken back, to wait for more text.
  void PutBack(const QByteArray& line);

  // Everything received and not yet taken, as it arrived.
  const QByteArray& Pending() const { return pending_; }
  void Clear() { pending_.clear(); }

 private:
  QByteArray pending_;
  bool prompt_ = false;
};
