// Linux stand-ins for the Windows services. (Placeholder.)
#include "platform/platform.h"

namespace platform {
int show_banner_box(int) { return 0; }
}  // namespace platform
