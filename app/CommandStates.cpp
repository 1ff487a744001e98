#include "CommandStates.h"

namespace tarvo {

TCommandStates CommandStatesFor(const TCommandInputs& inputs) {
  const bool document = inputs.HasDocument;
  // A selection only counts on a document: closing drops it, but the states must not wait for that.
  const bool selection = document && inputs.HasSelection;
  return {.OpenFile = true,
          .SaveFile = document,
          .SaveAsFile = document,
          .CloseFile = document,
          .GoOperation = selection,
          .Undo = document && inputs.HasTrims,
          .AdjustRect = selection};
}

}  // namespace tarvo
