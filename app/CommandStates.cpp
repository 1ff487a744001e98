#include "CommandStates.h"

namespace tarvo {

TCommandStates CommandStatesFor(const TCommandInputs& inputs) {
  // Another file may be opened at any time: it replaces the outcome of the work running.
  const bool document = inputs.HasDocument && !inputs.Working;
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
