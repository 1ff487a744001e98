#include "Program.h"

#include <QApplication>
#include <QIcon>

#include "Explanation.h"
#include "FreedMemory.h"
#include "Help.h"
#include "MainWindow.h"
#include "Options.h"
#include "QtTranslation.h"
#include "Resources.h"
#include "WindowTexts.h"

namespace tarvo {

int RunProgram(int argc, char* argv[], const std::function<void(TFm_Main&)>& beforeShow) {
  ReturnFreedLargeBlocksToTheSystem();
  InitResources();
  QApplication application(argc, argv);
  InstallQtTranslation(application);
  QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
  QApplication::setOrganizationName(QStringLiteral("Quillmoor"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarvo.svg")));
  // Ties the window to its installed desktop entry, so docks show its name and icon.
  QApplication::setDesktopFileName(QStringLiteral("jp.quillmoor.tarvo"));

  // The main window comes first: its creation must not rely on the dialogs.
  TFm_Main main;
  TFm_Help help(&main);
  TFm_Explanation explanation(&main);
  TFm_Options options(main.TrimModeList(), main.Settings(), &main);
  main.SetDialogs(&help, &explanation, &options);

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  main.SetArguments(arguments);
  if (beforeShow) beforeShow(main);
  main.show();
  return QApplication::exec();
}

}  // namespace tarvo
