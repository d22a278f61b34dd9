// The two lines every phone receives when it connects:
// "system windows 6.1\n" and "version 1. 5. 0. 0\n".
#pragma once
#include <cstdint>

#include "server/socket_compat.h"

namespace tavrin {

// The system's version, "major.minor".
void FormatOsVersion(char (&text)[64]);
// The FileVersion of the program's own version block, commas turned into
// dots; left as it is when the block has none.
void ReadServerVersion(char (&text)[64]);
// Copies a FileVersion value (`length` characters) into a greeting text with
// every comma turned into a dot; cut to fit.
void CopyVersionText(char (&text)[64], const char* value, uint32_t length);
// Sends both lines, each exactly its length, ignoring what send says.
void SendGreeting(SocketHandle s, const char* osVersion, const char* serverVersion);

}  // namespace tavrin
