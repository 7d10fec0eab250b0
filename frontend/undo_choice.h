// UndoChoiceDevice: the windows' "Keep an undo file" choice, as a device
// between the engine and the player's. While the choice is on, the first
// write creates a new undo file in the user's data folder (see
// UndoFolder()), named after the date and time the device was made and the
// volume, and that write and every later one go through an
// undo::UndoDevice, which saves what each overwrites before it is
// overwritten. A run that writes nothing leaves no
// file. The choice counts at the first write only: a file once begun keeps
// every write of the run, so that it can give the whole disk back.
//
// SetKeep may be called from any thread; everything else from the thread
// that makes the device calls.
#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "format/sector_device.h"
#include "undo/file_undo_store.h"
#include "undo/undo_device.h"

namespace frontend {

// Where the windows keep their undo files: "undo" in the data folder the
// player's built-in image lives in ($XDG_DATA_HOME/Corvane, by default
// ~/.local/share/Corvane).
QString UndoFolder();

// A file name for an undo file: the local date and time, the volume's name
// (characters other than letters, digits, '.', '-' and '_' become '_') and
// the operation, e.g. "20261209-075503-jukepak.img-repair.undo".
QString UndoFileName(const QString& volume, const QString& operation);

// The volume's name for an undo file: the image's file name when
// JUKEPAK_IMAGE names one, else "player".
QString UndoVolumeName();

class UndoChoiceDevice;

// The line that tells where the undo file of a finished run is and what it
// saved; `finished` is what UndoChoiceDevice::Finish gave. UTF-8.
std::string UndoReportLine(const UndoChoiceDevice& undo, const jukepak::Result& finished);

class UndoChoiceDevice : public jukepak::ForwardingDevice {
 public:
  // `volume` and `operation` name the file; neither the target nor the
  // folder is owned. `folder` is created when the first file is.
  UndoChoiceDevice(jukepak::SectorDevice* target, QString folder, QString volume,
                   QString operation);

  void SetKeep(bool keep) { keep_.store(keep); }
  bool keep() const { return keep_.load(); }

  // With the choice on, creates the file before the first write; a file
  // that cannot be created fails the write, which then never reaches the
  // device.
  jukepak::Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

  // Records the digest of what the run left (see UndoDevice::Finish). Ok
  // when no file was made.
  jukepak::Result Finish();

  // The undo file's path, empty while none was made.
  const QString& path() const { return path_; }
  // False until the first write decided whether a file is kept.
  bool decided() const { return decided_; }
  // Why the file the choice asked for could not be made (ok otherwise);
  // the write that needed it failed with this.
  const jukepak::Result& createFailure() const { return create_failure_; }
  uint64_t savedSectors() const { return undo_ ? undo_->savedSectors() : 0; }

 private:
  jukepak::Result CreateFile();

  QString folder_;
  QString volume_;
  QString operation_;
  QString name_;  // the file's name, the date being the device's making
  std::atomic<bool> keep_{true};
  bool decided_ = false;
  QString path_;
  jukepak::Result create_failure_ = jukepak::Result::Ok();
  std::unique_ptr<jukepak::undo::FileUndoStore> store_;
  std::unique_ptr<jukepak::undo::UndoDevice> undo_;
};

}  // namespace frontend
