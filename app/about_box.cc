#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "base/version.h"

// The icon is compiled into songlift_window, a static library: its
// resources are registered only once this has run. Q_INIT_RESOURCE must be
// called outside any namespace.
static void RegisterSongliftResources() { Q_INIT_RESOURCE(songlift); }

namespace songlift {

QIcon SongliftIcon() {
  static const bool registered = (RegisterSongliftResources(), true);
  (void)registered;
  return QIcon(":/songlift/songlift.xpm");
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Songlift");
  auto* icon = new QLabel(this);
  icon->setPixmap(SongliftIcon().pixmap(48, 48));
  auto* text = new QLabel(QString("Songlift Version %1").arg(jukepak::kVersion), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

}  // namespace songlift
