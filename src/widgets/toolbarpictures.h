#pragma once

#include <QIcon>

namespace lumetra {

// The image list of the main toolbar, 1-based. Picture 1 is the save look of the first
// button and picture 11 its recording look.
QIcon toolbarPicture(int index);
inline constexpr int kToolbarPictureCount = 18; // 16 print, 17 unit: list windows; 18 survey

} // namespace lumetra
