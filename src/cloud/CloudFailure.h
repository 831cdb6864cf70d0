#pragma once

#include <string>

#include "platform/PlatformError.h"
#include "platform/Translations.h"

namespace sayvo {

// What the user reads when the connection to the recognition service fails:
// one wording per cause, saying what to do. The network library's own text
// is for the log only.
Text cloudFailureMessage(const PlatformError& error);

}  // namespace sayvo
