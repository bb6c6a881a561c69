#include "catalogue/CatalogueLog.h"

Q_LOGGING_CATEGORY(lcCatalogue, "orvane.catalogue")
