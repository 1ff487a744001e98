// The program: the application, the main window and its three dialogs, the event loop.
#include <QApplication>
#include <QIcon>

#include "Explanation.h"
#include "FreedMemory.h"
#include "Help.h"
#include "MainWindow.h"
#include "Options.h"
#include "QtTranslation.h"
#include "Resources.h"
#include "StateReport.h"
#include "WindowTexts.h"

int main(int argc, char* argv[]) {
  tarvo::ReturnFreedLargeBlocksToTheSystem();
  tarvo::InitResources();
  QApplication application(argc, argv);
  tarvo::InstallQtTranslation(application);
  QApplication::setApplicationName(QString::fromUtf8(tarvo::kAppTitle));
  QApplication::setOrganizationName(QStringLiteral("Quillmoor"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarvo.svg")));
  // Ties the window to its installed desktop entry, so docks show its name and icon.
  QApplication::setDesktopFileName(QStringLiteral("jp.quillmoor.tarvo"));

  // The main window comes first: its creation must not rely on the dialogs.
  tarvo::TFm_Main main;
  tarvo::TFm_Help help(&main);
  tarvo::TFm_Explanation explanation(&main);
  tarvo::TFm_Options options(main.TrimModeList(), main.Settings(), &main);
  main.SetDialogs(&help, &explanation, &options);

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  main.SetArguments(arguments);
  tarvo::StartStateReportIfAsked(main);
  main.show();
  return QApplication::exec();
}
