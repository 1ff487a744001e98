// Where "トピックの検索" finds the user guide: beside the program, else in its data folder.
#pragma once

#include <QString>

namespace tarvo {

// The readme beside the executable in programDir (a build tree), else the installed one under
// ../share/tarvo/; empty when neither exists.
QString ReadmePath(const QString& programDir);

}  // namespace tarvo
