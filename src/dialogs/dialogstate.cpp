#include "dialogs/dialogstate.h"

namespace velmora {

TDialogState& DialogState() {
  static TDialogState state;
  return state;
}

void ResetDialogState() { DialogState() = TDialogState{}; }

}  // namespace velmora
