// What the window tests of Songlift and Volmend share (Qt Test on the
// offscreen platform): a settings store and data folder of their own, images
// made for the test, modules built beside the programs, and answering the
// next modal dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

namespace frontend::testing {

// Points the settings store, the data and the cache folder at a fresh temp folder and
// forgets JUKEPAK_IMAGE. Call before the QApplication is made; call again
// for a test that needs fresh folders. Returns the folder.
QString IsolateUserFolders();

// A new sparse image of `sectors` sectors in the test folder.
QString MakeImage(const QString& name, uint32_t sectors);

// The path of a module built beside the programs.
QString BuiltModule(const char* file_name);

// The next modal dialog that opens (a QDialog other than a message box) is
// handed to `handle` once shown; `handle` answers it (accept or reject).
// Returns at once; the timer looks for it while the caller's exec() runs.
void HandleNextDialog(std::function<void(QDialog*)> handle);

}  // namespace frontend::testing
