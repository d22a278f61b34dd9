// The user's settings under HKCU\Software\Tavrin: whether to ask before a new
// phone takes control, and the phones always allowed. Another program may
// have written anything there: a value of the wrong type or size is ignored.
#pragma once
#include "base/log.h"
#include "shell/allow_list.h"

namespace tavrin {

bool ReadAskFirst();
void WriteAskFirst(bool on, Log* log);
// How long a new phone may wait for the user's answer, in milliseconds:
// "AskTimeoutSeconds" (1 to 86400) when set, else the default.
uint64_t ReadAnswerTimeoutMs(uint64_t fallbackMs);
AllowList ReadAllowList(Log* log);
void WriteAllowList(const AllowList& list, Log* log);

}  // namespace tavrin
