#pragma once

namespace sayvo {

// How a desktop portal request ended: its Response code 0, 1 or 2, or no
// answer at all (the call failed or the portal left the bus).
enum class PortalOutcome { success, cancelled, failed };

}  // namespace sayvo
