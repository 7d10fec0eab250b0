// DlgConfirmDelete: "Are you sure you would like to delete" and one line
// below it: the name when the count is 1, else "these <count> files"; then
// where they go from and how much goes ("from the player (4 tracks)").
// Cancel is the default button.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace songlift {

class DlgConfirmDelete : public QDialog {
  Q_OBJECT
 public:
  DlgConfirmDelete(int count, const QString& name, const QString& extent = QString(),
                   QWidget* parent = nullptr);
  QString secondLine() const;
  QString extentLine() const;

  static QString SecondLineFor(int count, const QString& name);

 private:
  QLabel* line_;
  QLabel* extent_;
};

}  // namespace songlift
