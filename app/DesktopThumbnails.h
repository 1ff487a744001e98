// The freedesktop thumbnail cache, where file managers keep the thumbnails they have made.
#pragma once

#include <QString>

namespace tarvo {

// Removes the cached thumbnails of the file at path ($XDG_CACHE_HOME/thumbnails, each size and
// the failure folders of every program), so that file managers make them again. A file saved
// over keeps its name and, on request, its modification time, by which a file manager would
// otherwise go on showing the picture as it was before the trim.
void ForgetDesktopThumbnails(const QString& path);

}  // namespace tarvo
