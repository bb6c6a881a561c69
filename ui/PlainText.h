#pragma once

#include <QString>

// A tool tip that shows text as it is. Tool tips take text that looks like
// markup for markup; such a text (a name from the service, say) is
// handed over as the markup of the text itself.
QString plainToolTip(const QString &text);
