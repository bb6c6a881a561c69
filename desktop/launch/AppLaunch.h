#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>

#include <functional>

class QWidget;

// Starts an application as a double-click on its icon does, from the
// desktop or from the app centre: a web application or shipped page in a
// new browser window, a program on its own, a shortcut through the
// system's opener; an unusable target shows the shortcut message over
// parent, or hands it to tell (title, text) when one is given.
namespace AppLaunch {

using Tell = std::function<void(const QString &title, const QString &text)>;

void launch(const desktopAppInfo &app, const QString &appAuth, QWidget *parent, const Tell &tell = {});

} // namespace AppLaunch
