// The About box: the application icon, "Songlift Version <version>" and OK.
#pragma once

#include <QDialog>

namespace songlift {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

// The application icon.
QIcon SongliftIcon();

}  // namespace songlift
