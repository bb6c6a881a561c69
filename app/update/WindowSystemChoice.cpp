#include "app/update/WindowSystemChoice.h"

#include "app/update/StartupLog.h"

namespace WindowSystemChoice {

Choice choose(const QProcessEnvironment &environment)
{
    const QString own = environment.value(QStringLiteral("ORVANE_QPA")).trimmed();
    if (!own.isEmpty())
        return {own, QStringLiteral("%1, as ORVANE_QPA asks").arg(own)};

    const QString asked = environment.value(QStringLiteral("QT_QPA_PLATFORM")).trimmed();
    const bool waylandSession =
        !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
        || environment.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    const bool askedForWayland = asked.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive);
    if (!waylandSession && !askedForWayland)
        return {QString(), asked.isEmpty() ? QStringLiteral("the session's own (X11)")
                                           : QStringLiteral("%1, as QT_QPA_PLATFORM asks").arg(asked)};
    // Any other platform asked for (offscreen, say) is a choice of its own.
    if (!asked.isEmpty() && !askedForWayland)
        return {QString(), QStringLiteral("%1, as QT_QPA_PLATFORM asks").arg(asked)};
    if (environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return {QString(), QStringLiteral("Wayland: the session offers no XWayland (DISPLAY is not set), "
                                          "so windows cannot be placed or kept below the others")};
    return {QStringLiteral("xcb"), QStringLiteral("xcb through XWayland on a Wayland session "
                                                  "(ORVANE_QPA=wayland runs on Wayland itself)")};
}

void apply()
{
    const Choice choice = choose(QProcessEnvironment::systemEnvironment());
    if (!choice.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platform.toLocal8Bit());
    qCInfo(lcStartup).noquote() << "window system:" << choice.reason;
}

} // namespace WindowSystemChoice
