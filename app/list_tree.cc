#include "app/list_tree.h"

#include <QTreeWidget>
#include <unordered_set>

namespace songlift {
namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kIsTrackRole = Qt::UserRole + 1;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// Moving an item takes it out of the tree, which forgets whether it was
// highlighted or open: this carries both across.
struct ItemState {
  explicit ItemState(QTreeWidgetItem* item)
      : selected(item->isSelected()), expanded(item->isExpanded()) {}
  void RestoreTo(QTreeWidgetItem* item) const {
    item->setSelected(selected);
    item->setExpanded(expanded);
  }
  bool selected;
  bool expanded;
};

void TakeOut(QTreeWidgetItem* item) {
  if (QTreeWidgetItem* parent = item->parent()) {
    parent->takeChild(parent->indexOfChild(item));
  } else if (QTreeWidget* tree = item->treeWidget()) {
    tree->takeTopLevelItem(tree->indexOfTopLevelItem(item));
  }
}

void SetText(QTreeWidgetItem* item, const std::string& label) {
  const QString text = Text(label);
  if (item->text(0) != text) item->setText(0, text);
}

}  // namespace

ListTree::ListTree(QTreeWidget* tree) : QObject(tree), tree_(tree) {}

void ListTree::Apply(uint64_t sequence, const std::vector<jukepak::CdView>& cds) {
  if (sequence != 0 && sequence <= sequence_) return;
  sequence_ = sequence;
  RemoveMissing(cds);
  for (size_t i = 0; i < cds.size(); ++i) {
    QTreeWidgetItem* cd_item = CdItem(cds[i]);
    PlaceTopLevel(int(i), cd_item);
    for (size_t j = 0; j < cds[i].tracks.size(); ++j) {
      PlaceChild(cd_item, int(j), TrackItem(cds[i].tracks[j]));
    }
  }
  // What is left past the snapshot's entries moved away or went: the loop
  // above placed every entry that stays, so only stale items remain here.
  while (tree_->topLevelItemCount() > int(cds.size())) {
    Forget(tree_->takeTopLevelItem(int(cds.size())));
  }
  for (size_t i = 0; i < cds.size(); ++i) {
    QTreeWidgetItem* cd_item = tree_->topLevelItem(int(i));
    while (cd_item->childCount() > int(cds[i].tracks.size())) {
      Forget(cd_item->takeChild(int(cds[i].tracks.size())));
    }
  }
  cds_ = cds;
  Reindex();
  emit applied();
}

void ListTree::Forget(QTreeWidgetItem* item) {
  while (item->childCount() > 0) Forget(item->takeChild(0));
  const uint64_t id = item->data(0, kIdRole).toULongLong();
  auto& items = item->data(0, kIsTrackRole).toBool() ? track_items_ : cd_items_;
  if (items.value(id) == item) items.remove(id);
  delete item;
}

void ListTree::RemoveMissing(const std::vector<jukepak::CdView>& cds) {
  std::unordered_set<uint64_t> cd_ids, track_ids;
  for (const jukepak::CdView& cd : cds) {
    cd_ids.insert(cd.id);
    for (const jukepak::TrackView& track : cd.tracks) track_ids.insert(track.id);
  }
  for (auto it = track_items_.begin(); it != track_items_.end();) {
    if (track_ids.count(it.key()) != 0) {
      ++it;
      continue;
    }
    delete it.value();
    it = track_items_.erase(it);
  }
  for (auto it = cd_items_.begin(); it != cd_items_.end();) {
    if (cd_ids.count(it.key()) != 0) {
      ++it;
      continue;
    }
    // Its remaining children are tracks that move to another CD: keep them.
    QTreeWidgetItem* item = it.value();
    while (item->childCount() > 0) {
      QTreeWidgetItem* child = item->child(0);
      const ItemState state(child);
      item->takeChild(0);
      tree_->addTopLevelItem(child);  // parked until its new CD takes it
      state.RestoreTo(child);
    }
    delete item;
    it = cd_items_.erase(it);
  }
}

// The item kept for `id`, made on its first snapshot, with today's label.
QTreeWidgetItem* ListTree::ItemFor(QHash<uint64_t, QTreeWidgetItem*>* items, uint64_t id,
                                   bool is_track, const std::string& label) {
  QTreeWidgetItem* item = items->value(id, nullptr);
  if (item == nullptr) {
    item = new QTreeWidgetItem;
    item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(id));
    item->setData(0, kIsTrackRole, is_track);
    items->insert(id, item);
  }
  SetText(item, label);
  return item;
}

QTreeWidgetItem* ListTree::CdItem(const jukepak::CdView& cd) {
  return ItemFor(&cd_items_, cd.id, false, cd.label);
}

QTreeWidgetItem* ListTree::TrackItem(const jukepak::TrackView& track) {
  QTreeWidgetItem* item = ItemFor(&track_items_, track.id, true, track.label);
  if (!track.sourcePath.empty()) item->setToolTip(0, Text(track.sourcePath));
  return item;
}

void ListTree::PlaceTopLevel(int index, QTreeWidgetItem* item) {
  if (index < tree_->topLevelItemCount() && tree_->topLevelItem(index) == item) return;
  const ItemState state(item);
  TakeOut(item);
  tree_->insertTopLevelItem(index, item);
  state.RestoreTo(item);
}

void ListTree::PlaceChild(QTreeWidgetItem* parent, int index, QTreeWidgetItem* item) {
  if (index < parent->childCount() && parent->child(index) == item) return;
  const ItemState state(item);
  TakeOut(item);
  parent->insertChild(index, item);
  state.RestoreTo(item);
}

void ListTree::Reindex() {
  places_.clear();
  for (size_t i = 0; i < cds_.size(); ++i) {
    places_.insert(cd_items_.value(cds_[i].id), {int(i), -1});
    for (size_t j = 0; j < cds_[i].tracks.size(); ++j) {
      places_.insert(track_items_.value(cds_[i].tracks[j].id), {int(i), int(j)});
    }
  }
}

int ListTree::trackCount() const {
  int count = 0;
  for (const jukepak::CdView& cd : cds_) count += int(cd.tracks.size());
  return count;
}

ListTree::Entry ListTree::EntryOf(const QTreeWidgetItem* item) const {
  const auto place = places_.find(item);
  if (item == nullptr || place == places_.end()) return {};
  const jukepak::CdView& cd = cds_[size_t(place->first)];
  if (place->second < 0) return {&cd, nullptr, -1};
  return {&cd, &cd.tracks[size_t(place->second)], place->second};
}

uint64_t ListTree::IdOf(const QTreeWidgetItem* item) {
  return item == nullptr ? 0 : item->data(0, kIdRole).toULongLong();
}

}  // namespace songlift
