#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// How the client asks a Linux desktop to lock the session, change the
// wallpaper or open a web address. Desktops differ, so each request is a
// list of ways tried in order until one works; the lists are plain data so
// that their order and their argument texts can be checked on their own.
//
// Programs are started directly with an argument list, never through a
// shell, so names with spaces, quotes or any other character pass as they
// are. D-Bus calls go to the session bus.
namespace LinuxDesktop {

struct Step
{
    enum class Kind {
        Program,         // runs to its end; exit code 0 means done
        DetachedProgram, // started on its own; started means done
        DBusCall,        // a method call; any answer but an error means done
        PortalWallpaper, // the desktop portal's SetWallpaperFile; its Response says
    };

    Kind kind = Kind::Program;
    QString label; // for diagnostics

    // Program kinds: looked up on PATH.
    QString program;
    QStringList arguments;
    // Further runs of the same program after a success; their failures do
    // not count (a desktop may lack an optional key).
    QList<QStringList> followUps;
    // Read back after a success: the program run with these arguments must
    // print the expected text, else the value was not kept (a settings
    // store that drops writes).
    QStringList verify;
    QString expected;

    // D-Bus kinds.
    QString service;
    QString path;
    QString interface;
    QString method;
    QVariantList dbusArguments;

    // PortalWallpaper: the picture handed over as an open file.
    QString file;
};

struct Outcome
{
    bool done = false;
    QString doneBy;       // label of the step that did it
    QStringList failures; // "label: why", one per step that did not
};

// Tries the steps in order and stops at the first that does the work.
Outcome run(const QList<Step> &steps);

// logind for the current session, then the freedesktop screen saver on both
// of its usual object paths, then the screen savers of GNOME, Cinnamon,
// MATE and Xfce.
QList<Step> lockSteps();

// GNOME's settings (light and dark picture), KDE Plasma's scripting
// interface, then the desktop portal. On a Plasma desktop (currentDesktop
// as in XDG_CURRENT_DESKTOP) Plasma comes first: GNOME's keys would be
// written there without any effect.
QList<Step> wallpaperSteps(const QString &picturePath, const QString &currentDesktop);

// xdg-open, else gio. The address must already have passed
// WebAddress::forBrowser.
QList<Step> browserSteps(const QString &address);

// "file://" URI of a local file, percent-encoded.
QString fileUri(const QString &path);

// A GVariant text literal of a string, as gsettings parses its value.
QString gvariantString(const QString &text);

// The text of a GVariant string literal as gsettings prints it ('…' or
// "…", with backslash escapes); empty for anything that is not one.
QString gvariantStringValue(const QString &literal);

// The local file a wallpaper setting names: a "file:" URI or an absolute
// path. Empty for any other kind of address.
QString localPictureFile(const QString &uriOrPath);

// A Plasma desktop script that makes the image URI the wallpaper of every
// desktop; the URI is written as a script string literal.
QString plasmaWallpaperScript(const QString &uri);

} // namespace LinuxDesktop
