#include "app/dlg_import.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListWidget>
#include <QVBoxLayout>

#include "volume/audio_folder.h"

namespace songlift {

DlgImport::DlgImport(std::function<void(const QStringList&)> add_files, QWidget* parent,
                     std::function<QStringList(QWidget*)> choose_files)
    : QDialog(parent), add_files_(std::move(add_files)), choose_files_(std::move(choose_files)) {
  setWindowTitle("Import MP3's");
  if (!choose_files_) {
    choose_files_ = [](QWidget* owner) {
      QString patterns;
      for (const char* extension : jukepak::kAudioExtensions) patterns += QString("*.%1 ").arg(extension);
      return QFileDialog::getOpenFileNames(owner, "Import MP3's", QString(),
                                          "Songs and playlists (" + patterns +
                                              "*.m3u *.m3u8);;All files (*)");
    };
  }
  sources_ = new QListWidget(this);
  for (const char* name : {"MP3 Files", "Matchmaker", "SQL Query", "Etc. ..."}) {
    auto* item = new QListWidgetItem(name, sources_);
    if (sources_->count() > 1) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
  }
  sources_->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &DlgImport::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(sources_, &QListWidget::itemDoubleClicked, this, &DlgImport::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sources_);
  layout->addWidget(buttons);
}

void DlgImport::accept() {
  const QStringList paths = choose_files_(this);
  if (!paths.isEmpty() && add_files_) add_files_(paths);
  QDialog::accept();  // closes also when the file dialog was cancelled
}

}  // namespace songlift
