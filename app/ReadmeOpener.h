// "トピックの検索": the user guide opened in the desktop's program for text files.
#pragma once

#include <QString>
#include <functional>

class QObject;

namespace tarvo {

// Opens the guide found beside the program in programDir or in its data folder (see ReadmePath)
// with xdg-open, which answers only once it has handed the file on or given up. When there is
// no guide, or xdg-open is missing or could not open it, onFailure gets the message for the user,
// naming the file. The wait runs in context's event loop and ends with context.
void OpenReadme(const QString& programDir, QObject* context,
                const std::function<void(const QString& message)>& onFailure);

}  // namespace tarvo
