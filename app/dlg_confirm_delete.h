// DlgConfirmDelete: "Are you sure you would like to delete" and one line
// below it: the name when the count is 1, else "these <count> files".
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace songlift {

class DlgConfirmDelete : public QDialog {
  Q_OBJECT
 public:
  DlgConfirmDelete(int count, const QString& name, QWidget* parent = nullptr);
  QString secondLine() const;

  static QString SecondLineFor(int count, const QString& name);

 private:
  QLabel* line_;
};

}  // namespace songlift
