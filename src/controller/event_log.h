#pragma once

#include <QString>

#include "core/result.h"

class Link;
class Progress;

inline constexpr const char* kBadCountMessage = "Niepoprawna liczba wpisów do pobrania";

// What a fetch of the event log brought.
struct EventsResult : CommandResult {
  int received = 0;  // entries the controller sent
  int stored = 0;    // of them, new to the table
};

// "POBIERZ WPISY": asks the controller for its last `countText` events and
// listens while every two-second window brings a reply line, then waits for
// the end of the log. A count below 1 is refused before anything is sent.
EventsResult FetchEvents(Link& link, Progress& progress, const QString& countText);
