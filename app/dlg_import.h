// DlgImport ("Import MP3's"): the sources songs can come from. Only "MP3
// Files" has a source behind it; the other entries are shown disabled. OK
// asks for song files (any audio format) or playlists, as many as the user
// picks, and hands their paths to the caller's `add_files` at once.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QListWidget;

namespace songlift {

class DlgImport : public QDialog {
  Q_OBJECT
 public:
  // `choose_files` asks the user for files and returns their paths, none on
  // cancel (the system file dialog unless a test replaces it).
  DlgImport(std::function<void(const QStringList&)> add_files, QWidget* parent = nullptr,
            std::function<QStringList(QWidget*)> choose_files = {});

  QListWidget* sources() const { return sources_; }

 public slots:
  void accept() override;

 private:
  std::function<void(const QStringList&)> add_files_;
  std::function<QStringList(QWidget*)> choose_files_;
  QListWidget* sources_;
};

}  // namespace songlift
