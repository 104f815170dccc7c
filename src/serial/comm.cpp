#include "serial/comm.h"

#include "serial/port_names.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace {

// Whether the open device has modem-control lines at all.
bool DeviceHasControlLines(QSerialPort& port) {
#ifdef Q_OS_UNIX
  int lines = 0;
  if (::ioctl(int(port.handle()), TIOCMGET, &lines) == 0) return true;
  return errno != ENOTTY && errno != EINVAL;
#else
  Q_UNUSED(port);
  return true;
#endif
}

}  // namespace

Comm::Comm(std::function<void(const QString&)> trace, QObject* parent)
    : QObject(parent), trace_(std::move(trace)), port_(new QSerialPort(this)) {
  connect(port_, &QSerialPort::readyRead, this, &Comm::DeliverReceived);
  connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || !port_->isOpen()) return;
    // The device went away (an adapter pulled out). Qt tells it as a
    // resource error, or as a read error with nothing left to read, which it
    // repeats for as long as the port stays open: the port is closed at
    // once, so the waiting operation ends and the next one reopens it
    // instead of writing into nothing.
    const bool gone =
        error == QSerialPort::ResourceError || (error == QSerialPort::ReadError && port_->bytesAvailable() == 0);
    if (gone) {
      Trace(QStringLiteral("Read error (%1), %2").arg(int(error)).arg(port_->errorString()));
      port_->close();
      if (onLost) onLost();
    }
  });
}

Comm::~Comm() { Close(); }

void Comm::DeliverReceived() {
  const qint64 waiting = port_->bytesAvailable();
  if (waiting > 0 && onRxChar) onRxChar(waiting);
  // Bytes that arrive while the handler runs window events raise no
  // notification of their own (the port does not nest them), so an "OK"
  // could sit unread until the next reply pushed it out: hand them over
  // right after.
  if (port_->isOpen() && port_->bytesAvailable() > 0) QTimer::singleShot(0, this, &Comm::DeliverReceived);
}

bool Comm::IsOpen() const { return port_->isOpen(); }

void Comm::Close() {
  if (port_->isOpen()) port_->close();
}

void Comm::Trace(const QString& text) const {
  if (trace_) trace_(text);
}

bool Comm::OpenPort(const QString& device) {
  if (port_->isOpen()) {
    port_->close();
    QThread::msleep(kReopenPauseMs);
  }
  port_->setPortName(device);
  openDenied_ = false;
  if (!port_->open(QIODevice::ReadWrite)) {
    // A port held by another program is refused as a permission error too;
    // only the device's own permissions are the user's to mend.
    openDenied_ = port_->error() == QSerialPort::PermissionError && PortAccessDenied(device);
    Trace(port_->error() == QSerialPort::DeviceNotFoundError
              ? QStringLiteral("Specified device not found (%1).").arg(device)
              : QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                    .arg(device)
                    .arg(int(port_->error()))
                    .arg(port_->errorString()));
    return false;
  }
  const bool settings = port_->setBaudRate(kBaudRate) && port_->setDataBits(QSerialPort::Data8) &&
                        port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
                        port_->setFlowControl(QSerialPort::NoFlowControl);
  if (!settings) {
    Trace(QStringLiteral("Error writing dcb (%1), %2").arg(int(port_->error())).arg(port_->errorString()));
    port_->close();
    return false;
  }
  port_->setReadBufferSize(0);
  controlLines_ = DeviceHasControlLines(*port_);
  dtr_ = rts_ = false;
  if (!ApplyControlLine(true, false) || !ApplyControlLine(false, true)) {
    port_->close();
    return false;
  }
  return true;
}

bool Comm::ApplyControlLine(bool dtr, bool on) {
  (dtr ? dtr_ : rts_) = on;
  if (!port_->isOpen()) return true;
  const bool done = dtr ? port_->setDataTerminalReady(on) : port_->setRequestToSend(on);
  if (done) return true;
  const QString text = QStringLiteral("Error setting %1 (%2), %3")
                           .arg(dtr ? QStringLiteral("DTR") : QStringLiteral("RTS"))
                           .arg(int(port_->error()))
                           .arg(port_->errorString());
  Trace(text);
  port_->clearError();
  // Without modem-control lines (a pseudo-terminal) there is nothing to set.
  return !controlLines_;
}

void Comm::SetControlLines(bool on) {
  if (!port_->isOpen()) return;
  ApplyControlLine(true, !on);
  ApplyControlLine(false, on);
}

void Comm::SetDtr(bool on) {
  if (port_->isOpen()) ApplyControlLine(true, on);
}

bool Comm::Dtr() const { return dtr_; }

bool Comm::Rts() const { return rts_; }

bool Comm::Write(const QByteArray& bytes) {
  // Nothing goes out of a closed port, and a caller must not take it for sent.
  if (!port_->isOpen()) return false;
  // The send buffer holds 2048 bytes; a block that does not fit waits up to
  // a second for the line to drain.
  QElapsedTimer waited;
  waited.start();
  while (port_->bytesToWrite() + bytes.size() > kSendBufferSize && port_->bytesToWrite() > 0) {
    const qint64 left = kWriteTimeoutMs - waited.elapsed();
    if (left <= 0 || !port_->waitForBytesWritten(int(left))) {
      if (port_->bytesToWrite() + bytes.size() <= kSendBufferSize) break;
      Trace(QStringLiteral("Output buffer is full. Please check comm status."));
      return false;
    }
  }
  if (port_->write(bytes) != bytes.size()) {
    Trace(QStringLiteral("Write error (%1), %2").arg(int(port_->error())).arg(port_->errorString()));
    port_->clearError();
    return false;
  }
  return true;
}

QByteArray Comm::Read(qint64 count) { return port_->read(count); }
