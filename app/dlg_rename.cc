#include "app/dlg_rename.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace songlift {

namespace {
constexpr int kTextLimit = 47;  // a text field holds 47 characters and its zero
}

DlgRename::DlgRename(const QString& caption, const QString& artist, const QString& title,
                     QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(caption);
  artist_ = new QLineEdit(artist.left(kTextLimit), this);
  title_ = new QLineEdit(title.left(kTextLimit), this);
  artist_->setMaxLength(kTextLimit);
  title_->setMaxLength(kTextLimit);
  auto* form = new QFormLayout;
  form->addRow("Artist", artist_);
  form->addRow("Title", title_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(360, sizeHint().height());
}

QString DlgRename::artist() const { return artist_->text(); }
QString DlgRename::title() const { return title_->text(); }

}  // namespace songlift
