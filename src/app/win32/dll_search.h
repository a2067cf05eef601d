#pragma once

// Takes the program's own folder, and the current one, out of the places
// Windows looks for a DLL that is loaded by name. The program is started from
// wherever its zip was unpacked, often a download folder beside files from
// anywhere, and a DLL planted there under a system DLL's name would otherwise
// be loaded in its place. Called first thing, before anything else may load
// a DLL.
void KeepProgramFolderOutOfDllSearch();
