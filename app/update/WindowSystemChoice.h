#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which of the toolkit's window systems the client runs on.
//
// The desktop places its windows at absolute positions (grids beside the
// tabs, pop-ups in the corner, dialogs beside the app centre) and keeps
// itself below the other programs; Wayland lets a client do neither. On a
// Wayland session the client therefore runs through XWayland (the "xcb"
// platform), unless ORVANE_QPA names a platform of the user's choice, which
// is then used as it is.
namespace WindowSystemChoice {

struct Choice
{
    // What QT_QPA_PLATFORM is set to; empty to leave the environment alone.
    QString platform;
    // One line for the log: what was chosen and why.
    QString reason;
};

Choice choose(const QProcessEnvironment &environment);

// Chooses for this process and logs the choice; call before the
// application object exists.
void apply();

} // namespace WindowSystemChoice
