// DlgImport ("Import MP3's"): the sources songs can come from. Only "MP3
// Files" has a source behind it; the other entries are shown disabled. OK
// asks for one song file (any audio format) or playlist and hands its path
// to the caller's `add_file`.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QListWidget;

namespace songlift {

class DlgImport : public QDialog {
  Q_OBJECT
 public:
  // `choose_file` asks the user for one file and returns its path, or an
  // empty text on cancel (the system file dialog unless a test replaces it).
  DlgImport(std::function<void(const QString&)> add_file, QWidget* parent = nullptr,
            std::function<QString(QWidget*)> choose_file = {});

  QListWidget* sources() const { return sources_; }

 public slots:
  void accept() override;

 private:
  std::function<void(const QString&)> add_file_;
  std::function<QString(QWidget*)> choose_file_;
  QListWidget* sources_;
};

}  // namespace songlift
