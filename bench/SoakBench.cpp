// Memory over a long session in the real window: 200 cycles of open -> trim -> undo on a
// 24-megapixel photo, then 200 uses of the open dialog (opened, then cancelled). Prints the
// resident memory and the heap in use after cycles 1, 50, 100 and 200 of each; growth after the
// first cycle is what a long session costs. Optional arguments: the number of cycles, and of
// dialog uses when it differs. Runs offscreen, or on the platform QT_QPA_PLATFORM names (xcb
// under Xvfb).
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "FreedMemory.h"
#include "JpegFixtures.h"
#include "MainWindow.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "ViewMapping.h"

namespace {

double ResidentMebibytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

// Allocated and not yet freed, in the heap and in blocks of their own.
double HeapInUseMebibytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024 * 1024);
}

void Report(const char* what, int cycle, int cycles) {
  if (cycle != 1 && cycle != 50 && cycle != 100 && cycle != cycles) return;
  std::printf("%-17s cycle %3d: resident %7.1f MiB, heap in use %7.1f MiB\n", what, cycle,
              ResidentMebibytes(), HeapInUseMebibytes());
  std::fflush(stdout);
}

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::stoi(argv[1]) : 200;
  const int dialogUses = argc > 2 ? std::stoi(argv[2]) : cycles;
  // Offscreen unless a platform is named, e.g. QT_QPA_PLATFORM=xcb under Xvfb.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // As the program itself starts.
  tarvo::ReturnFreedLargeBlocksToTheSystem();
  QApplication application(argc, argv);
  tarvo::InitResources();
  QTemporaryDir folder;
  const QString photo = folder.filePath(QStringLiteral("photo.jpg"));
  tarvo::fixtures::JpegOptions options;
  options.width = 6000;
  options.height = 4000;
  options.sampling = tarvo::fixtures::Sampling::k420;
  options.quality = 92;
  tarvo::fixtures::WriteFile(photo.toStdString(), tarvo::fixtures::MakeJpeg(options));

  tarvo::TFm_Main window(
      std::make_unique<tarvo::TQSettingsStore>(folder.filePath(QStringLiteral("tarvo.conf"))));
  window.show();
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    window.OpenDocument(photo);
    window.Controller().WaitForWork();
    if (!window.Document().HasDocument()) Fail("the window did not open the photo");
    window.repaint();
    const tarvo::TViewMapping& view = window.View();
    const std::int32_t width = view.PictureWidth();
    const std::int32_t height = view.PictureHeight();
    window.Selection().Place({width / 4, height / 4, width * 3 / 4, height * 3 / 4});
    window.mnu_GoOperationClick();
    window.Controller().WaitForWork();
    window.repaint();
    if (window.Document().TrimHistory().size() != 1) Fail("the window did not trim");
    window.mnu_UndoClick();
    window.Controller().WaitForWork();
    window.repaint();
    QApplication::processEvents();
    Report("open/trim/undo", cycle, cycles);
  }

  // Each use runs the dialog's own event loop; the timer cancels it once it has been up long
  // enough to list the folder and paint, as a user's glance at it would.
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
        dialog->reject();
      }
    }
  });
  cancel.start(250);
  for (int use = 1; use <= dialogUses; ++use) {
    window.mnu_OpenFileClick();
    QApplication::processEvents();
    Report("open dialog", use, dialogUses);
  }
  return 0;
}
