// The wiring: lower layers reach components above them only through
// operations those components lend, and this is the one place that lends
// them. It sits at the top layer, which sees every component.
#pragma once

namespace tq {

// Fills every upward hook: the vault handles' compiled-vocabulary
// operations, the schemes' match-code operations, the definition-kind
// table. Run at every context start; the same pointers again are harmless.
void wiring_install();

}  // namespace tq
