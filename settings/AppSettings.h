// The user's preferences, held in memory for the whole run and stored at exit.
#pragma once

#include <QString>
#include <cstdint>

namespace tarvo {

// Each field is named after its stored value; the initial values are also what an absent value
// means.
struct TAppSettings {
  bool gAllowDropExif = false;   // discard the Exif segment when trimming
  bool gKeepThumbnails = false;  // keep the Exif thumbnail and previews as the source has them
  bool ShowExplanation_AdjustRect = true;     // explain "選択範囲の調整" before it runs
  bool ShowExplanation_AllowDropExif = true;  // kept and stored for later versions
  bool gKeepTimeStamp_Create = false;         // saved file gets the opened file's creation time
  bool gKeepTimeStamp_Write = false;          // saved file gets the opened file's last-write time
  // Initial folder of the save dialog: false = folder of the opened picture, true = the folder
  // saved to last (gSaveFolderName, or the picture's folder while that is empty).
  bool gSaveFolder = false;
  QString gSaveFolderName;  // folder saved to last, with a trailing separator
  // The fill "選択範囲を塗りつぶす" last used: 0 grey, 1 the average colour around, 2 mosaic.
  int32_t gWipeFill = 0;

  friend bool operator==(const TAppSettings&, const TAppSettings&) = default;
};

}  // namespace tarvo
