// DlgOptions: the yes/no options and the bitrate songs of other formats are
// converted at. It shows the values it is given; on OK the caller reads them
// back and stores them.
#pragma once

#include <QDialog>

#include "frontend/settings.h"

class QCheckBox;
class QComboBox;

namespace songlift {

class DlgOptions : public QDialog {
  Q_OBJECT
 public:
  explicit DlgOptions(const frontend::Options& current, QWidget* parent = nullptr);
  // The boxes as they stand (checked gives 1, clear 0) and the bitrate.
  frontend::Options options() const;

  QCheckBox* confirmDeletes() const { return confirm_; }
  QCheckBox* notifyBusy() const { return busy_; }
  QCheckBox* notifyDuplicate() const { return duplicate_; }
  QCheckBox* includeSubfolders() const { return subfolders_; }
  QCheckBox* skipDuplicates() const { return skip_duplicates_; }
  QComboBox* bitrate() const { return bitrate_; }

 private:
  QCheckBox* confirm_;
  QCheckBox* busy_;
  QCheckBox* duplicate_;
  QCheckBox* subfolders_;
  QCheckBox* skip_duplicates_;
  QComboBox* bitrate_;
};

}  // namespace songlift
