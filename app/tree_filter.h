// The filter box over each of the window's trees: typing part of an artist,
// album or title keeps only what matches in view.
#pragma once

#include <QString>

class QTreeWidget;

namespace songlift {

// Shows the CDs of `tree` whose label contains `text` (case-insensitive)
// with all their tracks, and the tracks whose label contains it with the
// CD they are on; hides the rest. An empty text shows everything. Hidden
// items lose their highlight, so that Delete never takes what the user
// cannot see.
void FilterTree(QTreeWidget* tree, const QString& text);

}  // namespace songlift
