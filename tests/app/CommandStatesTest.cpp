#include "CommandStates.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

using E = TCommandEvent;

TEST(CommandStates, OpeningEnablesFileCommandsAndNothingThatNeedsASelection) {
  const TCommandStates start = NextCommandStates(TCommandStates{.Undo = true}, E::Start);
  EXPECT_EQ(start, TCommandStates{});
  const TCommandStates opened = NextCommandStates(
      TCommandStates{.GoOperation = true, .Undo = true, .AdjustRect = true}, E::FileOpened);
  EXPECT_EQ(opened, (TCommandStates{.SaveFile = true, .SaveAsFile = true, .CloseFile = true}));
}

TEST(CommandStates, SelectionTrimAndUndoSwitchOnlyTheirOwnCommands) {
  const TCommandStates opened = NextCommandStates({}, E::FileOpened);
  TCommandStates expected = opened;

  const TCommandStates selected = NextCommandStates(opened, E::SelectionPlaced);
  expected.GoOperation = expected.AdjustRect = true;
  EXPECT_EQ(selected, expected);

  const TCommandStates trimmed = NextCommandStates(selected, E::TrimDone);
  expected.GoOperation = expected.AdjustRect = false;
  expected.Undo = true;
  EXPECT_EQ(trimmed, expected);

  // Undo leaves itself alone while steps remain.
  const TCommandStates undone = NextCommandStates(trimmed, E::UndoStepsRemain);
  expected.GoOperation = expected.AdjustRect = true;
  EXPECT_EQ(undone, expected);

  const TCommandStates removed = NextCommandStates(undone, E::SelectionRemoved);
  expected.GoOperation = expected.AdjustRect = false;
  EXPECT_EQ(removed, expected);

  const TCommandStates backAtSource = NextCommandStates(removed, E::UndoNoStepRemains);
  expected.GoOperation = expected.AdjustRect = true;
  expected.Undo = false;
  EXPECT_EQ(backAtSource, expected);
  EXPECT_TRUE(backAtSource.SaveFile);
}

TEST(CommandStates, ClosingLeavesOnlyOpenEnabled) {
  const TCommandStates all{true, true, true, true, true, true, true};
  EXPECT_EQ(NextCommandStates(all, E::DocumentClosed), TCommandStates{});
  for (E event : {E::Start, E::FileOpened, E::SelectionPlaced, E::SelectionRemoved, E::TrimDone,
                  E::UndoStepsRemain, E::UndoNoStepRemains, E::DocumentClosed}) {
    EXPECT_TRUE(NextCommandStates({}, event).OpenFile);
  }
}

}  // namespace
}  // namespace tarvo
