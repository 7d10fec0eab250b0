#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "base/version.h"

namespace songlift {

QIcon SongliftIcon() { return QIcon(":/songlift/songlift.xpm"); }

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
