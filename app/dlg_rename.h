// DlgRename: edits an artist and a title (an album, for a CD), each at most
// 47 characters. The caller sets the caption and both texts and reads them
// back after OK.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace songlift {

class DlgRename : public QDialog {
  Q_OBJECT
 public:
  DlgRename(const QString& caption, const QString& artist, const QString& title,
            QWidget* parent = nullptr);
  QString artist() const;
  QString title() const;

  QLineEdit* artistEdit() const { return artist_; }
  QLineEdit* titleEdit() const { return title_; }

 private:
  QLineEdit* artist_;
  QLineEdit* title_;
};

}  // namespace songlift
