#pragma once

#include <QList>
#include <QString>

// The settings file section that maps COM numbers to devices on systems
// whose serial devices have other names ("COM3=/dev/ttyUSB0").
inline constexpr const char* kPortsSection = "ports";

// The device behind COM `number`: "\\.\COMn" on Windows; elsewhere the
// device mapped in the settings file, or /dev/ttyS(n-1) when none is.
QString PortDevice(const QString& settingsFile, int number);

// Where a port choice leads. `choice` is "COMn", the bare number n (as the
// settings store it), or a device path ("/dev/ttyUSB0", "\\.\COM12") used as
// it stands.
struct PortChoice {
  QString device;
  int number = 0;       // the COM number; 0 for a path
  bool byPath = false;  // named by its path rather than a number
};
PortChoice ResolvePort(const QString& settingsFile, const QString& choice);

// One line of the port picker: "COM5: = USB Serial Port (ttyUSB0)".
struct PortEntry {
  QString text;
  int number = 0;
  QString device;
  bool newAlias = false;  // the number was given now and is not yet stored
};

// The serial ports present, in the order the system lists them. A device
// without a COM number yet gets the lowest free one from 1 to 20 (above 20
// when none is free), kept once the entry is picked.
QList<PortEntry> EnumerateSerialPorts(const QString& settingsFile);

// The COM number for a device the system does not list as a serial port
// (a pseudo-terminal, say): the one it is mapped to already, or the lowest
// free one up to 20, `fresh` then true; 0 when none is free.
int NumberForDevice(const QString& settingsFile, const QString& device, bool* fresh);

// Stores COM `number` = `device` in the settings file; false, with the
// user's message in `problem`, when the file cannot be written.
bool RememberPortAlias(const QString& settingsFile, int number, const QString& device, QString* problem = nullptr);

// Whether this user may read and write `device`, as opening it for the
// controller needs; false also when it is missing.
bool PortAccessible(const QString& device);

// Whether `device` is there but this user may not open it for reading and
// writing (on Linux: not in the group that owns serial devices).
bool PortAccessDenied(const QString& device);

// What the user reads when `device` is there but not theirs to open: the
// group to join (the device's own group when joining it would help,
// "dialout" otherwise) and that it takes a new login.
QString PortAccessAdvice(const QString& device);
