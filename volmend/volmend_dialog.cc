#include "volmend/volmend_dialog.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

namespace volmend {
namespace {

// Dialog units of the window's layout, converted with the font's base units
// (a quarter of the mean letter width, an eighth of the line height).
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    x_ = metrics.horizontalAdvance(letters) / double(letters.size());
    y_ = metrics.height();
  }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }
  int X(int units) const { return int(units * x_ / 4 + 0.5); }
  int Y(int units) const { return int(units * y_ / 8 + 0.5); }

 private:
  double x_ = 6;
  double y_ = 13;
};

}  // namespace

VolmendDialog::VolmendDialog(QWidget* parent)
    : QDialog(parent),
      explanation_(new QLabel(
          tr("Checks the player's volume and lists every fault found; Repair fixes them."), this)),
      list_(new QListWidget(this)),
      keep_undo_(new QCheckBox(tr("Keep an undo file"), this)),
      repair_(new QPushButton(tr("Repair"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(kDialogTitle);
  const DialogUnits units(font());
  setFixedSize(units.X(345), units.Y(280));
  explanation_->setGeometry(units.Rect(7, 16, 331, 8));
  list_->setGeometry(units.Rect(7, 40, 331, 183));
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setObjectName("reportList");
  keep_undo_->setGeometry(units.Rect(7, 228, 200, 10));
  keep_undo_->setObjectName("keepUndoFile");
  keep_undo_->setChecked(true);
  keep_undo_->setToolTip(tr("Saves what the repair overwrites, so that 'songlift-cli undo FILE' "
                            "can put it back"));
  repair_->setGeometry(units.Rect(61, 249, 50, 14));
  repair_->setObjectName("repairButton");
  repair_->setAutoDefault(false);
  cancel_->setGeometry(units.Rect(221, 249, 50, 14));
  cancel_->setObjectName("cancelButton");
  cancel_->setAutoDefault(false);
  repair_->setEnabled(false);
  cancel_->setEnabled(false);
  connect(repair_, &QPushButton::clicked, this, [this] {
    keep_undo_->setEnabled(false);
    emit repairClicked();
  });
  connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
}

QStringList VolmendDialog::lines() const {
  QStringList out;
  for (int i = 0; i < list_->count(); ++i) out << list_->item(i)->text();
  return out;
}

void VolmendDialog::AddLine(const QString& line) { list_->addItem(line); }

void VolmendDialog::SetTitleLine(const QString& line) { setWindowTitle(line); }

void VolmendDialog::EnableButtons(bool reinitialize) {
  // A header beyond repair leaves only erasing the drive: the button says so.
  if (reinitialize) {
    repair_->setText(tr("Reinitialize..."));
    repair_->resize(std::max(repair_->width(), repair_->sizeHint().width()), repair_->height());
  }
  repair_->setEnabled(true);
  cancel_->setEnabled(true);
}

}  // namespace volmend
