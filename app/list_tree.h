// ListTree: the window's own copy of one of the engine's lists (the player's
// directory or the pending additions) and the tree widget that shows it.
//
// The engine sends value snapshots (volume/list_snapshot.h); Apply makes the
// tree show the newest one. Items are matched by the entries' ids, so a CD
// stays expanded and an entry stays highlighted across snapshots, also when
// it moves.
//
// Window thread only.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

#include "volume/list_snapshot.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace songlift {

class ListTree : public QObject {
  Q_OBJECT
 public:
  // What a tree item stands for.
  struct Entry {
    const jukepak::CdView* cd = nullptr;
    const jukepak::TrackView* track = nullptr;  // null for a CD's item
    int slot = -1;                               // the track's place in its CD
  };

  explicit ListTree(QTreeWidget* tree);

  // Shows `cds` when `sequence` is newer than the snapshot shown; an older
  // one (delivered late) is ignored.
  void Apply(uint64_t sequence, const std::vector<jukepak::CdView>& cds);

  QTreeWidget* tree() const { return tree_; }
  const std::vector<jukepak::CdView>& cds() const { return cds_; }
  int trackCount() const;
  // The entry of an item of this tree; all null for none.
  Entry EntryOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* ItemOfCd(uint64_t id) const { return cd_items_.value(id, nullptr); }
  QTreeWidgetItem* ItemOfTrack(uint64_t id) const { return track_items_.value(id, nullptr); }
  // The id of the entry an item of either tree shows; 0 for none.
  static uint64_t IdOf(const QTreeWidgetItem* item);

 signals:
  void applied();

 private:
  QTreeWidgetItem* ItemFor(QHash<uint64_t, QTreeWidgetItem*>* items, uint64_t id, bool is_track,
                           const std::string& label);
  QTreeWidgetItem* CdItem(const jukepak::CdView& cd);
  QTreeWidgetItem* TrackItem(const jukepak::TrackView& track);
  // Deletes an item taken out of the tree, with its children, and drops them
  // from the id maps.
  void Forget(QTreeWidgetItem* item);
  void RemoveMissing(const std::vector<jukepak::CdView>& cds);
  void PlaceTopLevel(int index, QTreeWidgetItem* item);
  void PlaceChild(QTreeWidgetItem* parent, int index, QTreeWidgetItem* item);
  void Reindex();

  QTreeWidget* tree_;
  uint64_t sequence_ = 0;
  std::vector<jukepak::CdView> cds_;
  QHash<uint64_t, QTreeWidgetItem*> cd_items_;
  QHash<uint64_t, QTreeWidgetItem*> track_items_;
  // Where each id's view lies in cds_: CD index, and track slot (-1 for a CD).
  QHash<const QTreeWidgetItem*, std::pair<int, int>> places_;
};

}  // namespace songlift
