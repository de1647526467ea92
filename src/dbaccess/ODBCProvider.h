#pragma once
#include "core/Interaction.h"

#include <QString>

namespace qb {

// True when a connection object can be created. For a provider-not-found
// failure (number 3706, or a description containing "provider cannot be
// found" in any case) shows the advice on installing and registering the
// SQLite ODBC driver and, on Yes, opens the setup instructions. Never throws.
bool CheckProvider(Interaction& ui);

// The advice text, for tests and for the message box.
QString providerAdviceText();

}  // namespace qb
