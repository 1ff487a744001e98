// Qt's own texts (file dialogs, standard buttons, the context menus of edit fields) in Japanese,
// like every other text of the program.
#pragma once

class QCoreApplication;

namespace tarvo {

// Loads Qt's Japanese catalogue from Qt's translations folder and installs it on application;
// false when the catalogue is not there (Qt's texts then stay English).
bool InstallQtTranslation(QCoreApplication& application);

}  // namespace tarvo
