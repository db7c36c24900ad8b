// The process command line as one text, the way the game's scripts ask for it: the program
// path and every argument, separated by single blanks. Called by the SE_ library. Never fails:
// a line the system cannot give reads as the empty text.
#pragma once

// Read once, then kept for the life of the process.
const char* OsGetCommandLine();
