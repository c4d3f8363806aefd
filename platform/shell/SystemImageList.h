#pragma once
#include <QIcon>
#include <QString>

// The shared list of icons that items point into by index (the shell's system image list).
// Icons are named by the desktop's icon theme; an index, once given, names the same icon for the
// rest of the run. Main thread only.
namespace SystemImageList {

// The index of a theme icon name, added on first use.
int indexOf(const QString& iconName);
// The icon at an index (from the theme, else the style's standard icon); a null icon for an
// index that was never given.
QIcon icon(int index);

constexpr int kSmallSize = 16;

}  // namespace SystemImageList
