// Messages from phones as desktop notifications (org.freedesktop.
// Notifications on the session bus), the balloons of the Windows build.
#pragma once
#include "base/log.h"

namespace tavrin {

// Shows "Message from Quillo" with the phone's title as its body. The title
// is escaped: notification servers read the body as markup, and a phone
// must not be able to make a link or an image of it.
void ShowPhoneMessage(Log& log, const char* title);

}  // namespace tavrin
