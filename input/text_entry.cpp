#include "input/text_entry.h"

namespace tavrin {

int DecodeUtf8ToUtf16(const char*, uint16_t*, int32_t) { return -1; }
void TypeUtf8Text(Injector&, Desktop&, const char*) {}
void PostCharWithLayoutSwitch(Desktop&, WindowRef, uint32_t, uint16_t) {}

}  // namespace tavrin
