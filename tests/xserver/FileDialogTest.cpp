// The file dialogs and the questions around them, answered from the keyboard.
#include <QDir>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

bool NoModal(const TState& state) { return state.value(QStringLiteral("modal")).isEmpty(); }

// Ctrl+O, the full path typed into the name field, Enter.
void OpenByTyping(TTarvo& tarvo, const QString& path) {
  tarvo.Key({QStringLiteral("ctrl+o")});
  ASSERT_TRUE(tarvo.WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  tarvo.Type(path);
  tarvo.Key({QStringLiteral("Return")});
}

TEST_F(XWindow, ATypedPathOpensThatFileOnEveryUseOfTheOpenDialog) {
  const QString second = files_.filePath(QStringLiteral("second.jpg"));
  ASSERT_TRUE(QFile::copy(Photo(), second));
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  for (const QString& path : {second, Photo()}) {
    OpenByTyping(*tarvo, path);
    EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
      return NoModal(state) && state.value(QStringLiteral("status")).startsWith(path + u' ');
    })) << qPrintable(path);
  }
  // No completion list left behind to swallow the next key.
  EXPECT_EQ(tarvo->State().value(QStringLiteral("popup")), QString());
  tarvo->Key({QStringLiteral("ctrl+KP_Add")});
  EXPECT_TRUE(tarvo->WaitFor(QStringLiteral("rate"), QStringLiteral("200.0% (2/1)")));
}

// The open dialog starts beside the open photo; a folder of the kernel's typed into it lists
// without a read of its files (/proc/kmsg would block one for ever); and what was typed before a
// cancel is gone at the next use.
TEST_F(XWindow, TheOpenDialogStartsBesideThePhotoAndForgetsACancel) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+o")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("folder")), QDir(files_.path()).absolutePath());
  for (const QString& folder :
       {QStringLiteral("/proc/"), QStringLiteral("/sys/kernel/"), QStringLiteral("/dev/")}) {
    tarvo->Key({QStringLiteral("ctrl+a")});
    tarvo->Type(folder);
    // Still answering: the name typed after the folder arrives.
    tarvo->Type(QStringLiteral("zz"));
    EXPECT_TRUE(tarvo->WaitFor(QStringLiteral("typed"), folder + QStringLiteral("zz")))
        << qPrintable(tarvo->State().value(QStringLiteral("typed")));
  }
  tarvo->Key({QStringLiteral("Escape")});
  if (!tarvo->WaitFor(NoModal, 2000)) tarvo->Key({QStringLiteral("Escape")});
  ASSERT_TRUE(tarvo->WaitFor(NoModal));
  tarvo->Key({QStringLiteral("ctrl+o")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("typed")), QString());
  EXPECT_EQ(tarvo->State().value(QStringLiteral("folder")), QDir(files_.path()).absolutePath());
  tarvo->Key({QStringLiteral("Escape")});
  EXPECT_TRUE(tarvo->WaitFor(NoModal));
}

// Save as proposes the opened file: two Enters must not write over the original photo.
TEST_F(XWindow, TheOverwriteQuestionAnswersNoToEnter) {
  QFile photo(Photo());
  ASSERT_TRUE(photo.open(QIODevice::ReadOnly));
  const QByteArray original = photo.readAll();
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+a"), QStringLiteral("ctrl+x"), QStringLiteral("ctrl+s")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  tarvo->Key({QStringLiteral("Return")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("modal"), QStringLiteral("警告")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("default")), QStringLiteral("いいえ(&N)"));
  // The window manager hands the question the keyboard a little after it is shown.
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("active"), QStringLiteral("警告")));
  tarvo->Key({QStringLiteral("Return")});
  ASSERT_TRUE(tarvo->WaitFor(NoModal));
  photo.seek(0);
  EXPECT_EQ(photo.readAll(), original);
}

}  // namespace
}  // namespace tarvo::xtest
