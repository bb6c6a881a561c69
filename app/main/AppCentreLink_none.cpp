#include "app/main/AppCentreLink.h"

void linkAppCentre(QLumiqDesk &, Session &)
{
    // No web engine, no app centre: the desktop's button stays disabled.
}
