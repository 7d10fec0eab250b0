// DlgDrivers ("Select a Hardware Driver"): every driver module by its
// display name, in the order found; one that cannot run here is greyed out
// with the reason and cannot be chosen. The module in use is preselected by
// its exact path; OK stays disabled until a usable entry is selected and
// then gives the chosen module's full path.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

#include "driver/driver_catalog.h"

class QListWidget;
class QPushButton;

namespace songlift {

class DlgDrivers : public QDialog {
  Q_OBJECT
 public:
  // `candidates` as FindDriverModules() gives them.
  DlgDrivers(const QString& selected_path, std::vector<jukepak::DriverCandidate> candidates,
             QWidget* parent = nullptr);

  // After OK: the chosen module; before, the path the dialog was given.
  QString selectedPath() const { return selected_path_; }

  QListWidget* driverList() const { return list_; }
  QPushButton* okButton() const { return ok_; }

 public slots:
  void accept() override;

 private:
  QString selected_path_;
  QStringList candidate_paths_;
  QListWidget* list_;
  QPushButton* ok_;
};

}  // namespace songlift
