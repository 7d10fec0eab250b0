#include "app/tree_filter.h"

#include <QTreeWidget>

namespace songlift {
namespace {

void Show(QTreeWidgetItem* item, bool shown) {
  item->setHidden(!shown);
  if (!shown) item->setSelected(false);
}

}  // namespace

void FilterTree(QTreeWidget* tree, const QString& text) {
  const QString wanted = text.trimmed();
  auto matches = [&](const QTreeWidgetItem* item) {
    return wanted.isEmpty() || item->text(0).contains(wanted, Qt::CaseInsensitive);
  };
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* cd = tree->topLevelItem(i);
    const bool cd_matches = matches(cd);
    bool any_track = false;
    for (int k = 0; k < cd->childCount(); ++k) {
      const bool shown = cd_matches || matches(cd->child(k));
      Show(cd->child(k), shown);
      any_track = any_track || shown;
    }
    Show(cd, cd_matches || any_track);
  }
}

}  // namespace songlift
