#include "CommandStates.h"

namespace tarvo {

TCommandStates NextCommandStates(TCommandStates current, TCommandEvent event) {
  TCommandStates next = current;
  switch (event) {
    case TCommandEvent::Start:
    case TCommandEvent::DocumentClosed:
      next = TCommandStates{};
      break;
    case TCommandEvent::FileOpened:
      next =
          TCommandStates{.OpenFile = true, .SaveFile = true, .SaveAsFile = true, .CloseFile = true};
      break;
    case TCommandEvent::SelectionPlaced:
      next.GoOperation = true;
      next.AdjustRect = true;
      break;
    case TCommandEvent::SelectionRemoved:
      next.GoOperation = false;
      next.AdjustRect = false;
      break;
    case TCommandEvent::TrimDone:
      next.GoOperation = false;
      next.Undo = true;
      next.AdjustRect = false;
      break;
    case TCommandEvent::UndoStepsRemain:
      next.GoOperation = true;
      next.AdjustRect = true;
      break;
    case TCommandEvent::UndoNoStepRemains:
      next.GoOperation = true;
      next.Undo = false;
      next.AdjustRect = true;
      break;
  }
  return next;
}

}  // namespace tarvo
