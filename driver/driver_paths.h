// Where driver modules are looked for: the working directory first, then the
// folder of the running program (the build tree keeps programs and modules
// side by side), then the installed driver folder.
#pragma once

#include <string>
#include <vector>

namespace jukepak {

// The folders, in search order, without duplicates; absolute paths.
std::vector<std::string> DriverSearchFolders();

// The full path of the first module called `file_name` in those folders;
// empty when there is none.
std::string FindDriverModule(const std::string& file_name);

// The folder the modules are installed in.
std::string InstalledDriverFolder();

}  // namespace jukepak
