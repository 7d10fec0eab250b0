// DlgOptions: the three yes/no options. It starts with all boxes clear and
// shows the values it is given; on OK the caller reads them back and stores
// all three.
#pragma once

#include <QDialog>

#include "frontend/settings.h"

class QCheckBox;

namespace songlift {

class DlgOptions : public QDialog {
  Q_OBJECT
 public:
  explicit DlgOptions(const frontend::Options& current, QWidget* parent = nullptr);
  // The boxes as they stand: checked gives 1, clear 0.
  frontend::Options options() const;

  QCheckBox* confirmDeletes() const { return confirm_; }
  QCheckBox* notifyBusy() const { return busy_; }
  QCheckBox* notifyDuplicate() const { return duplicate_; }

 private:
  QCheckBox* confirm_;
  QCheckBox* busy_;
  QCheckBox* duplicate_;
};

}  // namespace songlift
