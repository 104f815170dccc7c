#include "common/slot_text.h"

QString SlotText(int slot) { return QString::asprintf("%.3d", slot); }
