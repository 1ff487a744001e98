// Which document commands are enabled: derived from the document and the selection, no widgets.
#pragma once

namespace tarvo {

// Enabled state of each switched command; a menu item and its toolbar button share one flag.
// Everything not listed here is always enabled.
struct TCommandStates {
  bool OpenFile = true;
  bool SaveFile = false;
  bool SaveAsFile = false;
  bool CloseFile = false;
  bool GoOperation = false;
  bool Undo = false;
  bool AdjustRect = false;
  // The turn and mirror commands, and "Exifの向きに合わせて回転".
  bool Turn = false;
  bool TurnUpright = false;
  bool Redo = false;

  friend bool operator==(const TCommandStates&, const TCommandStates&) = default;
};

// What the command states depend on.
struct TCommandInputs {
  bool HasDocument = false;
  bool HasTrims = false;
  // Steps undone that a redo does again.
  bool HasRedo = false;
  bool HasSelection = false;
  // The picture is shown other than as stored.
  bool ShownTurned = false;
  // An open, trim or undo runs: the commands given meanwhile wait for it.
  bool Working = false;
};

// The states for the document and the selection as they stand.
TCommandStates CommandStatesFor(const TCommandInputs& inputs);

}  // namespace tarvo
