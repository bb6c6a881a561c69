#pragma once

class QLumiqDesk;
struct Session;

// Puts the app centre behind the desktop's requests: made on the first
// one, kept, and brought back by every later one. A build without the web
// engine has no app centre, and the desktop's button stays disabled.
void linkAppCentre(QLumiqDesk &desk, Session &session);
