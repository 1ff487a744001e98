#include "CommandStates.h"

namespace tarvo {

TCommandStates CommandStatesFor(const TCommandInputs& inputs) {
  // Every command is taken while the document changes and runs once the change is back, when it
  // then applies: keys typed ahead (Ctrl+X, then Ctrl+Z or Ctrl+S) act as they would have had
  // the window waited.
  if (inputs.Working) {
    return {.SaveFile = true,
            .SaveAsFile = true,
            .CloseFile = true,
            .GoOperation = true,
            .Undo = true,
            .AdjustRect = true,
            .Turn = true,
            .TurnUpright = true,
            .Redo = true};
  }
  const bool document = inputs.HasDocument;
  // A selection only counts on a document: closing drops it, but the states must not wait for that.
  const bool selection = document && inputs.HasSelection;
  return {.OpenFile = true,
          .SaveFile = document,
          .SaveAsFile = document,
          .CloseFile = document,
          .GoOperation = selection,
          .Undo = document && inputs.HasTrims,
          .AdjustRect = selection,
          .Turn = document,
          .TurnUpright = document && inputs.ShownTurned,
          .Redo = document && inputs.HasRedo};
}

}  // namespace tarvo
