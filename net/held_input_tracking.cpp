#include "net/remote_server.h"

namespace tavrin {

void TrackingInjector::key(uint16_t, uint16_t, uint32_t) {}
void TrackingInjector::mouse(int32_t, int32_t, int32_t, uint32_t) {}

}  // namespace tavrin
