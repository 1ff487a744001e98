// Which document commands are enabled after each event of the window: one table, no widgets.
#pragma once

namespace tarvo {

// The events that switch document commands. Everything not listed here is always enabled.
enum class TCommandEvent {
  Start,
  FileOpened,
  SelectionPlaced,
  SelectionRemoved,
  TrimDone,
  UndoStepsRemain,
  UndoNoStepRemains,
  DocumentClosed,
};

// Enabled state of each switched command; a menu item and its toolbar button share one flag.
struct TCommandStates {
  bool OpenFile = true;
  bool SaveFile = false;
  bool SaveAsFile = false;
  bool CloseFile = false;
  bool GoOperation = false;
  bool Undo = false;
  bool AdjustRect = false;

  friend bool operator==(const TCommandStates&, const TCommandStates&) = default;
};

// The states left by event, starting from current (commands the event does not touch keep theirs).
TCommandStates NextCommandStates(TCommandStates current, TCommandEvent event);

}  // namespace tarvo
