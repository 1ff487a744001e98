// The open and save dialogs for JPEG files. Each use gets a dialog of its own: a dialog kept
// from one use to the next garbles a typed path with what its completer remembers (the second
// name typed ends in "jpgg"), and its completion list can stay behind on screen.
#pragma once

#include <QFileDialog>
#include <memory>

namespace tarvo {

std::unique_ptr<QFileDialog> NewOpenDialog(QWidget* owner);
// Asks no overwrite question of its own: the document asks it.
std::unique_ptr<QFileDialog> NewSaveDialog(QWidget* owner);

// Shows the dialog in folder with fileName filled in; the chosen path, or empty if cancelled.
QString RunFileDialog(QFileDialog& dialog, const QString& folder, const QString& fileName = {});

}  // namespace tarvo
