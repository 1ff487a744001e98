#include "QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace tarvo {

bool InstallQtTranslation(QCoreApplication& application) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  // The application owns it from here: Qt's texts are looked up as long as it runs.
  translator->setParent(&application);
  return QCoreApplication::installTranslator(translator.release());
}

}  // namespace tarvo
