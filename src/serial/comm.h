#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSerialPort;

// The serial port the window owns: 9600 baud, 8 data bits, no parity, one
// stop bit, no flow control, DTR and RTS driven by hand. Received bytes are
// announced to `onRxChar` with the count waiting; the handler reads them.
class Comm : public QObject {
  Q_OBJECT
 public:
  static constexpr int kBaudRate = 9600;
  static constexpr qint64 kSendBufferSize = 2048;
  static constexpr int kWriteTimeoutMs = 1000;
  static constexpr int kReopenPauseMs = 300;

  // `trace` receives the serial layer's failure texts (the trace file).
  explicit Comm(std::function<void(const QString&)> trace, QObject* parent = nullptr);
  ~Comm() override;

  // Closes the port if open (then pauses 300 ms), opens `device`, applies
  // the line settings and sets DTR off, RTS on. False, with the reason
  // traced, when the port is not open afterwards.
  bool OpenPort(const QString& device);
  // The last OpenPort failed because the device is there but this user may
  // not read and write it, which the user can mend (see PortAccessAdvice).
  bool OpenDenied() const { return openDenied_; }
  bool IsOpen() const;
  void Close();

  // DTR := not on, RTS := on.
  void SetControlLines(bool on);
  void SetDtr(bool on);
  bool Dtr() const;
  bool Rts() const;

  // Queues bytes for sending. False with the failure traced when the send
  // buffer stays full for a second or the device refuses; writing while
  // closed sends nothing and is no failure.
  bool Write(const QByteArray& bytes);
  // Reads up to `count` waiting bytes.
  QByteArray Read(qint64 count);

  std::function<void(qint64 waiting)> onRxChar;
  // The device went away while open; the port has been closed.
  std::function<void()> onLost;

  // Pseudo-terminals and some adapters have no modem-control lines; asking
  // for DTR or RTS there is traced and otherwise ignored.
  bool HasControlLines() const { return controlLines_; }

 private:
  void DeliverReceived();
  bool ApplyControlLine(bool dtr, bool on);
  void Trace(const QString& text) const;

  std::function<void(const QString&)> trace_;
  QSerialPort* port_ = nullptr;
  bool controlLines_ = true;
  bool openDenied_ = false;
  bool dtr_ = false;
  bool rts_ = false;
};
