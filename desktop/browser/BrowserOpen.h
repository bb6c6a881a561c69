#pragma once

#include <QString>

class QWidget;

// Opens the address in a new browser window that deletes itself when
// closed; returns the window (null in a build without the web engine).
QWidget *openBrowserWindow(const QString &address, const QString &title = QString());
