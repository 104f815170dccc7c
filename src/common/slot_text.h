#pragma once

#include <QString>

// A phonebook slot number as the controller expects it: decimal, zero-padded
// to at least three digits (2 -> "002", 1000 -> "1000").
QString SlotText(int slot);
