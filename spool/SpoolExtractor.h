// The spool page extractor: finds the print job's spool file, cuts every page out of it as an
// EMF file in the temporary folder, lists the pages in the hand-off file config.ini, publishes
// that file's path in the registry and signals the waiting program through its named pipe.
#pragma once

#include <string>

class CIni;

// The whole hand-off: -1 when the spool folder holds no spool file in either listing, and -1,
// with nothing written and no signal, when the pages' folder is not a folder of the user alone
// (see platform::EnsurePrivateFolder); else 0. Page files and config.ini are made mode 0600.
int ExtractSpoolPages();

// The temporary folder the pages go to, ending in "/": the registry's TempDir, or, when that is
// missing, unreadable, too long or relative, the user's temporary folder followed by
// "DravelleOutput/"; empty when there is no such folder either.
std::string ReadTempDir();

// The spooler's folder of spool files, ending in "/": $windir (else the platform root's
// "windows" folder) followed by "system32/spool/PRINTERS/".
std::string SpoolFolder();

// Walks one spool file, numbered spoolNumber: writes CurrentDoc and one page file and one
// "EMF<n>" key per page record; pageCounter runs on across the spool files of one hand-off.
void WalkSpoolFile(const std::string& spoolPath, int spoolNumber, const std::string& tempDir,
                   const CIni& handOff, int& pageCounter);
