// The user's settings under $XDG_CONFIG_HOME/tavrin/: whether to ask before
// a new phone takes control ("ask-first", a line "on" or "off"), and the
// phones always allowed ("allowed-phones", one entry a line, in the allow
// list's own form). A file another program wrote may hold anything: what
// does not parse is ignored.
#pragma once
#include "base/log.h"
#include "shell/allow_list.h"

namespace tavrin {

bool ReadAskFirst();
void WriteAskFirst(bool on, Log& log);
AllowList ReadAllowList();
void WriteAllowList(const AllowList& list, Log& log);

}  // namespace tavrin
