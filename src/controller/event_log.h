#pragma once

#include <QString>

class Link;
class Session;
class UserInterface;

inline constexpr const char* kBadCountMessage = "Niepoprawna liczba wpisów do pobrania";

// "POBIERZ WPISY": asks the controller for its last `countText` events and
// listens while every two-second window brings a reply line, then waits for
// the end of the log. A count below 1 is refused before anything is sent.
void FetchEvents(Link& link, UserInterface& ui, const QString& countText);
