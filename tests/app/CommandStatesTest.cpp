#include "CommandStates.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(CommandStates, FollowTheDocumentItsTrimsAndTheSelection) {
  const TCommandStates none{};
  const TCommandStates file{.SaveFile = true, .SaveAsFile = true, .CloseFile = true, .Turn = true};
  TCommandStates turned = file;
  turned.TurnUpright = true;
  TCommandStates trimmed = file;
  trimmed.Undo = true;
  TCommandStates selected = file;
  selected.GoOperation = selected.AdjustRect = true;
  TCommandStates both = selected;
  both.Undo = true;
  TCommandStates undone = file;
  undone.Redo = true;
  const struct {
    TCommandInputs inputs;
    TCommandStates expected;
  } cases[] = {
      {{}, none},
      // Without a document neither trims nor a selection left behind enable anything.
      {{.HasTrims = true, .HasSelection = true}, none},
      {{.HasDocument = true}, file},
      {{.HasDocument = true, .HasTrims = true}, trimmed},
      {{.HasDocument = true, .HasSelection = true}, selected},
      {{.HasDocument = true, .HasTrims = true, .HasSelection = true}, both},
      {{.HasDocument = true, .HasRedo = true}, undone},
      {{.HasRedo = true}, none},
      // While the document changes every command is taken, to run once the change is back.
      {{.Working = true}, {true, true, true, true, true, true, true, true, true, true}},
      // Only a picture shown other than as stored can be turned upright.
      {{.HasDocument = true, .ShownTurned = true}, turned},
      {{.ShownTurned = true}, none},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandStatesFor(c.inputs), c.expected)
        << c.inputs.HasDocument << c.inputs.HasTrims << c.inputs.HasSelection << c.inputs.Working;
  }
}

}  // namespace
}  // namespace tarvo
