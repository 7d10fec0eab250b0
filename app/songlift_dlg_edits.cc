// The main window's edits of its two trees: delete, rename, and moving a
// track by drag and drop within one tree (a player track dragged out of the
// window is copied to the PC instead).

#include <QApplication>
#include <algorithm>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>

#include "app/copy_to_pc.h"
#include "app/dlg_confirm_delete.h"
#include "app/dlg_rename.h"
#include "app/list_tree.h"
#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "base/latin1.h"
#include "frontend/message_boxes.h"
#include "volume/pending_edits.h"
#include "volume/pending_list.h"
#include "volume/volume_edits.h"

namespace songlift {

using frontend::MessageBoxes;

using jukepak::BusyState;
using jukepak::CdNode;
using jukepak::DeviceState;

namespace {

constexpr char kMoveRefusal[] = "You may not move a track on the player right now.";
constexpr char kRenameRefusal[] = "You may not rename either a track nor a CD on the player right now.";

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

CdNode* CSongliftDlg::FindPlayerCd(QTreeWidgetItem* item) {
  const ListTree::Entry entry = player_list_->EntryOf(item);
  return entry.cd == nullptr ? nullptr : jukepak::FindPlayerCd(volume(), entry.cd->id);
}

int CSongliftDlg::PlayerTrackSlot(CdNode* cd, QTreeWidgetItem* item) const {
  if (cd == nullptr || item == nullptr) return -1;
  const ListTree::Entry entry = player_list_->EntryOf(item);
  return entry.track == nullptr ? -1 : jukepak::FindPlayerTrack(*cd, entry.track->id);
}

void CSongliftDlg::ReportEditFailure(const jukepak::Result& result) {
  if (result.ok() || result.code() == jukepak::ResultCode::kBusy) return;
  MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift",
                               QString::fromStdString(result.message()),
                               MessageBoxes::Buttons::kOk);
}

QList<QTreeWidgetItem*> CSongliftDlg::HighlightedItems(QTreeWidget* tree) {
  QList<QTreeWidgetItem*> items;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* cd = tree->topLevelItem(i);
    if (cd->isSelected()) {
      items << cd;  // its tracks go with it
      continue;
    }
    for (int k = 0; k < cd->childCount(); ++k) {
      if (cd->child(k)->isSelected()) items << cd->child(k);
    }
  }
  return items;
}

QTreeWidgetItem* CSongliftDlg::SingleHighlighted(QTreeWidget* tree) {
  const QList<QTreeWidgetItem*> items = tree->selectedItems();
  return items.size() == 1 ? items.front() : nullptr;
}

void CSongliftDlg::DeleteHighlighted(QTreeWidget* tree) {
  const bool confirm = app_->options().confirmDelete != 0;
  const QList<QTreeWidgetItem*> items = HighlightedItems(tree);
  if (items.isEmpty()) return;  // a current item that is not highlighted is not the user's choice
  if (tree == player_tree_) DeletePlayerItems(items, confirm);
  if (tree == pending_tree_) DeleteProposedItems(items, confirm);
}

bool CSongliftDlg::ConfirmDelete(const QList<QTreeWidgetItem*>& items, const char* from,
                                 const char* one, const char* many) {
  int entries = 0;
  for (QTreeWidgetItem* item : items) entries += item->parent() != nullptr ? 1 : item->childCount();
  const QString extent =
      QString("from %1 (%2 %3)").arg(from).arg(entries).arg(entries == 1 ? one : many);
  DlgConfirmDelete dialog(int(items.size()), items.front()->text(0), extent, this);
  return dialog.exec() == QDialog::Accepted;
}

void CSongliftDlg::DeletePlayerItem(QTreeWidgetItem* item, bool confirm) {
  if (item != nullptr) DeletePlayerItems({item}, confirm);
}

void CSongliftDlg::DeletePlayerItems(const QList<QTreeWidgetItem*>& items, bool confirm) {
  auto idle = [this] { return shownDeviceState() == DeviceState::kReady && !working(); };
  if (!idle() || items.isEmpty()) return;  // refused silently, whatever NotifyBusy says
  if (volume().ReadOnly()) {
    ReportEditFailure(jukepak::Result::Error(jukepak::ResultCode::kCorrupt, jukepak::kDamagedDirectory));
    return;
  }
  // Ids, not items: the dialog runs the event loop, and each delete
  // removes items from the tree.
  struct Target {
    uint64_t cd;
    uint64_t track;  // 0 for the whole CD
  };
  std::vector<Target> targets;
  for (QTreeWidgetItem* item : items) {
    const ListTree::Entry entry = player_list_->EntryOf(item);
    if (entry.cd == nullptr) continue;
    targets.push_back({entry.cd->id, entry.track != nullptr ? entry.track->id : 0});
  }
  if (confirm && !ConfirmDelete(items, "the player", "track", "tracks")) return;
  // The dialog ran the event loop: find each target again, it may be gone.
  if (!idle() || !DiskWritable()) return;
  for (const Target& target : targets) {
    CdNode* cd = jukepak::FindPlayerCd(volume(), target.cd);
    if (cd == nullptr) continue;  // gone with its last track
    jukepak::Result result;
    if (target.track != 0) {
      const int slot = jukepak::FindPlayerTrack(*cd, target.track);
      if (slot < 0) continue;
      result = jukepak::DeletePlayerTrack(volume(), cd, uint32_t(slot));
    } else {
      result = jukepak::DeletePlayerCd(volume(), cd);
    }
    if (!result.ok()) {
      ReportEditFailure(result);
      break;
    }
  }
  RefreshSizeLabels();
}

void CSongliftDlg::RenamePlayerItem(QTreeWidgetItem* item) {
  if (!IsPlayerIdle(kRenameRefusal) || item == nullptr) return;
  const ListTree::Entry entry = player_list_->EntryOf(item);
  if (entry.cd == nullptr) return;
  const uint64_t cd_id = entry.cd->id;
  const uint64_t track_id = entry.track != nullptr ? entry.track->id : 0;
  DlgRename dialog(entry.track != nullptr ? "Change Track Information" : "Change CD Information",
                   Text(entry.track != nullptr ? entry.track->artist : entry.cd->artist),
                   Text(entry.track != nullptr ? entry.track->title : entry.cd->album), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // Look again: a job may have started or the entry gone while the dialog was open.
  if (!IsPlayerIdle(kRenameRefusal) || !DiskWritable()) return;
  CdNode* cd = jukepak::FindPlayerCd(volume(), cd_id);
  if (cd == nullptr) return;
  const std::string new_artist = dialog.artist().toStdString();
  const std::string new_title = dialog.title().toStdString();
  jukepak::Result result;
  if (track_id != 0) {
    const int slot = jukepak::FindPlayerTrack(*cd, track_id);
    if (slot < 0) return;
    result = jukepak::RenameTrack(volume(), cd, uint32_t(slot), new_artist, new_title);
  } else {
    result = jukepak::RenameCd(volume(), cd, new_artist, new_title);
  }
  ReportEditFailure(result);
}

void CSongliftDlg::OnTreeKey(QTreeWidget* tree, int key) {
  if (key == Qt::Key_Delete) {
    DeleteHighlighted(tree);
  } else if (key == Qt::Key_R) {
    if (tree == player_tree_) RenamePlayerItem(SingleHighlighted(tree));
    if (tree == pending_tree_) RenameProposedItem(SingleHighlighted(tree));
  }
}

void CSongliftDlg::OnTreeDoubleClick(QTreeWidget* tree) {
  if (tree == player_tree_) RenamePlayerItem(SingleHighlighted(tree));
  if (tree == pending_tree_) RenameProposedItem(SingleHighlighted(tree));
}

void CSongliftDlg::DeleteProposedItem(QTreeWidgetItem* item, bool confirm) {
  if (item != nullptr) DeleteProposedItems({item}, confirm);
}

void CSongliftDlg::DeleteProposedItems(const QList<QTreeWidgetItem*>& items, bool confirm) {
  if (items.isEmpty()) return;
  if (!jukepak::PendingEditsAllowed(volume())) {
    IsPendingEditable();
    return;
  }
  std::vector<std::pair<uint64_t, bool>> targets;  // the entry, and whether a song
  for (QTreeWidgetItem* item : items) {
    const ListTree::Entry entry = pending_list_->EntryOf(item);
    if (entry.cd == nullptr) continue;
    const bool is_song = entry.track != nullptr;
    targets.emplace_back(is_song ? entry.track->id : entry.cd->id, is_song);
  }
  if (confirm && !ConfirmDelete(items, "the pending additions", "song", "songs")) return;
  // The engine looks each entry up again; a sync that started meanwhile refuses.
  for (const auto& [id, is_song] : targets) {
    const jukepak::Result removed = is_song ? jukepak::RemovePendingSong(volume(), id)
                                            : jukepak::RemovePendingCd(volume(), id);
    if (removed.code() == jukepak::ResultCode::kBusy) {
      IsPendingEditable();
      break;
    }
  }
  RefreshSizeLabels();
}

void CSongliftDlg::RenameProposedItem(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  if (!IsPendingEditable()) return;
  const uint64_t id = IdOf(item);
  const bool is_song = item->parent() != nullptr;
  std::string artist, title;
  if (!jukepak::PendingTexts(volume(), id, &artist, &title)) return;
  DlgRename dialog(is_song ? "Change Track Information" : "Change CD Information",
                   QString::fromStdString(artist), QString::fromStdString(title), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string new_artist = dialog.artist().toStdString();
  const std::string new_title = dialog.title().toStdString();
  const jukepak::Result renamed =
      is_song ? jukepak::RenamePendingSong(volume(), id, new_artist, new_title)
              : jukepak::RenamePendingCd(volume(), id, new_artist, new_title);
  if (renamed.code() == jukepak::ResultCode::kBusy) IsPendingEditable();
  ReportEditFailure(renamed);  // e.g. an album that has no room for this CD's songs
}

bool CSongliftDlg::IsPendingEditable() {
  if (jukepak::PendingEditsAllowed(volume())) return true;
  if (app_->options().notifyBusy != 0) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kInformation, "Player Busy",
                                 jukepak::kPendingBusy, MessageBoxes::Buttons::kOk);
  }
  return false;
}

bool CSongliftDlg::DropPendingTrack(QTreeWidgetItem* dragged, QTreeWidgetItem* hit) {
  if (!IsPendingEditable()) return false;
  const jukepak::Result result = jukepak::DropPendingSong(volume(), IdOf(dragged), IdOf(hit));
  ReportEditFailure(result);
  return result.ok();
}

// --- drag and drop of tracks -------------------------------------------------

bool CSongliftDlg::HandleTreeMouse(QTreeWidget* tree, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    press_item_ = mouse->button() == Qt::LeftButton ? tree->itemAt(mouse->position().toPoint())
                                                    : nullptr;
    press_pos_ = mouse->position().toPoint();
    if (tree == player_tree_) copy_to_pc_->NotePress(press_item_);
  } else if (event->type() == QEvent::MouseMove && press_item_ != nullptr && !dragging()) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint moved = mouse->position().toPoint() - press_pos_;
    if ((mouse->buttons() & Qt::LeftButton) &&
        moved.manhattanLength() >= QApplication::startDragDistance()) {
      if (tree == player_tree_ && copy_to_pc_->DragsOutAtOnce()) {
        press_item_ = nullptr;
        copy_to_pc_->StartDragOut();
        return true;
      }
      BeginTrackDrag(tree, press_item_);
      press_item_ = nullptr;
      return dragging();
    }
  } else if (event->type() == QEvent::MouseButtonRelease) {
    press_item_ = nullptr;
  }
  return false;
}

void CSongliftDlg::BeginTrackDrag(QTreeWidget* tree, QTreeWidgetItem* item) {
  if (item == nullptr || item->parent() == nullptr) return;  // CDs are not moved
  drag_tree_ = tree;
  drag_item_ = item;
  // A highlighted track takes the other highlighted tracks along, in tree
  // order; they are known by their entries' ids, as a move may take an
  // item out of its CD and put it into another.
  drag_nodes_.clear();
  if (item->isSelected()) {
    for (QTreeWidgetItem* track : HighlightedItems(tree)) {
      if (track->parent() != nullptr) drag_nodes_.push_back(IdOf(track));
    }
  }
  if (drag_nodes_.empty()) drag_nodes_.push_back(IdOf(item));
  // The image of the dragged item follows the pointer.
  const QRect rect = tree->visualItemRect(item);
  drag_image_ = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
  drag_image_->setAttribute(Qt::WA_TransparentForMouseEvents);
  drag_image_->setPixmap(tree->viewport()->grab(rect));
  drag_image_->setWindowOpacity(0.7);
  drag_image_->move(tree->viewport()->mapToGlobal(rect.topLeft()));
  drag_image_->show();
  grabMouse(Qt::ClosedHandCursor);
}

uint64_t CSongliftDlg::IdOf(const QTreeWidgetItem* item) { return ListTree::IdOf(item); }

QTreeWidgetItem* CSongliftDlg::ItemOfNode(QTreeWidget* tree, uint64_t id) const {
  const ListTree* list = tree == player_tree_ ? player_list_ : pending_list_;
  QTreeWidgetItem* track = list->ItemOfTrack(id);
  return track != nullptr ? track : list->ItemOfCd(id);
}

void CSongliftDlg::SetDropHighlight(QTreeWidgetItem* item) {
  if (drop_highlight_ == item) return;
  if (drop_highlight_ != nullptr) drop_highlight_->setBackground(0, QBrush());
  drop_highlight_ = item;
  if (item != nullptr) item->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(150));
}

void CSongliftDlg::MoveTrackDrag(const QPoint& global) {
  if (!dragging()) return;
  // A player track taken out of the window is a drag onto the PC's files.
  if (drag_tree_ == player_tree_ && !rect().contains(mapFromGlobal(global))) {
    EndTrackDrag();
    copy_to_pc_->StartDragOut();
    return;
  }
  if (drag_image_ != nullptr) drag_image_->move(global + QPoint(8, 8));
  const QPoint local = drag_tree_->viewport()->mapFromGlobal(global);
  // Over no item the last highlight stays.
  if (QTreeWidgetItem* under = drag_tree_->itemAt(local)) SetDropHighlight(under);
}

void CSongliftDlg::DropTrackDrag(const QPoint& global) {
  if (!dragging()) return;
  QTreeWidget* tree = drag_tree_;
  const std::vector<uint64_t> nodes = drag_nodes_;
  EndTrackDrag();
  if (tree == player_tree_ && !IsPlayerIdle(kMoveRefusal)) return;
  const QPoint local = tree->viewport()->mapFromGlobal(global);
  // Only the tree the drag started in counts: a drop over the other tree, or
  // outside, moves nothing.
  if (!tree->viewport()->rect().contains(local)) return;
  QTreeWidgetItem* hit = tree->itemAt(local);
  if (hit == nullptr || nodes.empty()) return;
  const uint64_t hit_node = IdOf(hit);
  if (nodes.size() > 1 && std::find(nodes.begin(), nodes.end(), hit_node) != nodes.end()) return;
  if (tree == player_tree_ && !DiskWritable()) return;
  // The first track goes where a single one would; each next one right
  // after the one before, so the tracks arrive together and in order.
  if (!DropTrack(tree, ItemOfNode(tree, nodes[0]), hit)) return;
  for (size_t i = 1; i < nodes.size(); ++i) {
    if (!PlaceTrackAfter(tree, nodes[i], nodes[i - 1])) return;
  }
}

bool CSongliftDlg::PlaceTrackAfter(QTreeWidget* tree, uint64_t node, uint64_t previous) {
  QTreeWidgetItem* item = ItemOfNode(tree, node);
  QTreeWidgetItem* before = ItemOfNode(tree, previous);
  if (item == nullptr || before == nullptr || before->parent() == nullptr) return false;
  QTreeWidgetItem* cd = before->parent();
  const int at = cd->indexOfChild(before);
  // Within one CD a drop onto a later track ends after it.
  if (item->parent() == cd && cd->indexOfChild(item) < at) return DropTrack(tree, item, before);
  QTreeWidgetItem* next = cd->child(at + 1);
  if (next == item) return true;  // in place already
  // Onto the track after `previous` it goes before that one; past the last, onto the CD.
  return DropTrack(tree, item, next != nullptr ? next : cd);
}

bool CSongliftDlg::DropTrack(QTreeWidget* tree, QTreeWidgetItem* dragged, QTreeWidgetItem* hit) {
  if (hit == nullptr || dragged == nullptr || dragged->parent() == nullptr) return false;
  if (tree != player_tree_) return DropPendingTrack(dragged, hit);
  QTreeWidgetItem* target_item = hit->parent() != nullptr ? hit->parent() : hit;
  CdNode* source = FindPlayerCd(dragged->parent());
  CdNode* target = FindPlayerCd(target_item);
  const int from = PlayerTrackSlot(source, dragged);
  if (source == nullptr || target == nullptr || from < 0) return false;
  jukepak::Result result;
  if (hit->parent() != nullptr) {
    const int onto = PlayerTrackSlot(target, hit);
    if (onto < 0) return false;
    result = jukepak::DropTrackOntoTrack(volume(), source, uint32_t(from), target, uint32_t(onto));
  } else {
    result = jukepak::DropTrackOntoCd(volume(), source, uint32_t(from), target);
  }
  ReportEditFailure(result);
  return result.ok();
}

void CSongliftDlg::EndTrackDrag() {
  delete drag_image_;
  drag_image_ = nullptr;
  SetDropHighlight(nullptr);
  releaseMouse();
  drag_tree_ = nullptr;
  drag_item_ = nullptr;
  drag_nodes_.clear();
}

void CSongliftDlg::mouseMoveEvent(QMouseEvent* event) {
  if (dragging()) {
    MoveTrackDrag(event->globalPosition().toPoint());
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void CSongliftDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging() && event->button() == Qt::LeftButton) {
    DropTrackDrag(event->globalPosition().toPoint());
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

}  // namespace songlift
