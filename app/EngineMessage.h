// How the engine's messages reach the user: one modal box per message, by severity.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <string>

namespace tarvo {

enum class TMessageBoxKind { Plain, Warning, Error };

// Everything a message box shows; its one button is the only way out.
struct TMessageBoxContent {
  TMessageBoxKind Kind = TMessageBoxKind::Plain;
  QString Caption;
  QString Text;
  QString Button;

  friend bool operator==(const TMessageBoxContent&, const TMessageBoxContent&) = default;
};

// The box for text at severity 0 (information), 1 (warning) or 2 (error); nothing for any other.
std::optional<TMessageBoxContent> EngineMessageBox(const std::string& text, int severity);

// The window a message box belongs to: the active one, else the visible main window.
QWidget* MessageBoxOwner();

// The engine's OnMessage: shows the box modally over MessageBoxOwner().
void EngineMessage(const std::string& text, int severity);

// An error box ("エラー", OK) for the window's own failures, such as the settings store's.
void ErrorMessage(const QString& text);

}  // namespace tarvo
