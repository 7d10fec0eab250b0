#include "frontend/undo_choice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "frontend/qsettings_store.h"

namespace frontend {

QString UndoFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/" +
         kOrganisation + "/undo";
}

QString UndoFileName(const QString& volume, const QString& operation) {
  QString safe = volume;
  for (QChar& c : safe) {
    const bool kept = (c.unicode() < 128 && c.isLetterOrNumber()) || c == '.' || c == '-' ||
                      c == '_';
    if (!kept) c = '_';
  }
  return QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + "-" + safe + "-" +
         operation + ".undo";
}

QString UndoVolumeName() {
  const QByteArray image = qgetenv("JUKEPAK_IMAGE");
  return image.isEmpty() ? QString("player") : QFileInfo(QFile::decodeName(image)).fileName();
}

std::string UndoReportLine(const UndoChoiceDevice& undo, const jukepak::Result& finished) {
  const std::string path = undo.path().toStdString();
  if (!finished.ok()) {
    return "The undo file " + path + " lacks its digest (" + finished.message() +
           "); 'songlift-cli undo' still restores it, unchecked";
  }
  return "Undo file: " + path + " ('songlift-cli undo FILE' puts back its " +
         std::to_string(undo.savedSectors()) + " sectors)";
}

UndoChoiceDevice::UndoChoiceDevice(jukepak::SectorDevice* target, QString folder, QString volume,
                                   QString operation)
    : ForwardingDevice(target),
      folder_(std::move(folder)),
      volume_(std::move(volume)),
      operation_(std::move(operation)),
      // Named here, on the thread that makes the device: the clock's time
      // zone is read by the C library, which other threads may be using.
      name_(UndoFileName(volume_, operation_)) {}

jukepak::Result UndoChoiceDevice::CreateFile() {
  if (!QDir().mkpath(folder_)) {
    return jukepak::Result::Error(jukepak::ResultCode::kIoError,
                                  "cannot create the folder " + folder_.toStdString() +
                                      " for the undo file");
  }
  // Two runs within the same second get different names; an existing file
  // is never overwritten.
  const QString& name = name_;
  jukepak::Result created = jukepak::Result::Ok();
  for (int n = 1; n < 100; ++n) {
    QString candidate = name;
    if (n > 1) candidate.insert(candidate.size() - 5, "-" + QString::number(n));
    const QString path = folder_ + "/" + candidate;
    created = jukepak::undo::FileUndoStore::Create(QFile::encodeName(path).toStdString(), &store_);
    if (created.ok()) {
      path_ = path;
      undo_ = std::make_unique<jukepak::undo::UndoDevice>(target(), store_.get(),
                                                          operation_.toStdString());
      return created;
    }
    if (created.code() != jukepak::ResultCode::kBusy) break;
  }
  return created;
}

jukepak::Result UndoChoiceDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  if (!decided_) {
    if (keep_.load()) {
      jukepak::Result r = CreateFile();
      if (!r.ok()) {
        create_failure_ = r;
        return r;
      }
    }
    decided_ = true;
  }
  if (undo_) return undo_->Write(sector, count, in);
  return target()->Write(sector, count, in);
}

jukepak::Result UndoChoiceDevice::Finish() {
  return undo_ ? undo_->Finish() : jukepak::Result::Ok();
}

}  // namespace frontend
