#include "app/window_reporter.h"

#include <QString>

#include "app/dlg_copy_progress.h"
#include "app/songlift_dlg.h"

namespace songlift {
namespace {

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace

WindowReporter::WindowReporter(QObject* parent) : QObject(parent) {}

void WindowReporter::OnWindowThread(const std::function<void()>& call) {
  window_thread_.Call(call);
}

void WindowReporter::ShowStatus(std::string_view text) {
  const QString status = Text(text);
  OnWindowThread([&] {
    if (window_ != nullptr) window_->ShowStatus(status);
  });
}

void WindowReporter::DeviceStateChanged(jukepak::DeviceState) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->UpdateControls();
  });
}

void WindowReporter::BusyStateChanged(jukepak::BusyState state) {
  OnWindowThread([&] {
    if (window_ != nullptr) {
      window_->UpdateControls();
      window_->RefreshSizeLabels();
    }
    emit busyStateChanged(int(state));
  });
}

jukepak::TreeItem WindowReporter::InsertCdItem(jukepak::Tree tree, std::string_view label,
                                               jukepak::CdNode* cd, bool first) {
  jukepak::TreeItem item = jukepak::kNoTreeItem;
  const QString text = Text(label);
  OnWindowThread([&] {
    if (window_ != nullptr) item = window_->InsertCdItem(tree, text, cd, first);
  });
  return item;
}

jukepak::TreeItem WindowReporter::InsertTrackItem(jukepak::Tree tree, jukepak::TreeItem cd_item,
                                                  std::string_view label,
                                                  jukepak::TrackNode* track) {
  jukepak::TreeItem item = jukepak::kNoTreeItem;
  const QString text = Text(label);
  OnWindowThread([&] {
    if (window_ != nullptr) item = window_->InsertTrackItem(tree, cd_item, text, track);
  });
  return item;
}

void WindowReporter::SetItemLabel(jukepak::Tree tree, jukepak::TreeItem item,
                                  std::string_view label) {
  const QString text = Text(label);
  OnWindowThread([&] {
    if (window_ != nullptr) window_->SetItemLabel(tree, item, text);
  });
}

void WindowReporter::DeleteItem(jukepak::Tree tree, jukepak::TreeItem item) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->DeleteItem(tree, item);
  });
}

void WindowReporter::DeleteChildren(jukepak::Tree tree, jukepak::TreeItem item) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->DeleteChildren(tree, item);
  });
}

void WindowReporter::ClearTree(jukepak::Tree tree) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->ClearTree(tree);
  });
}

void WindowReporter::RedrawTree(jukepak::Tree tree) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->RedrawTree(tree);
  });
}

void WindowReporter::BeginAll(int pending_cds) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->copyProgress()->beginAll(pending_cds);
  });
}

void WindowReporter::BeginCd(int tracks) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->copyProgress()->beginCd(tracks);
  });
}

void WindowReporter::BeginTrack(std::string_view title, uint32_t clusters) {
  const QString text = Text(title);
  OnWindowThread([&] {
    if (window_ != nullptr) window_->copyProgress()->beginTrack(text, clusters);
  });
}

void WindowReporter::TrackPosition(uint32_t cluster_index) {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->copyProgress()->trackPosition(cluster_index);
  });
}

void WindowReporter::EndAll() {
  OnWindowThread([&] {
    if (window_ != nullptr) window_->copyProgress()->endAll();
  });
}

}  // namespace songlift
