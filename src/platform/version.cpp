#include "platform/version.h"

namespace qf {

const char* QuillfenVersion() { return QUILLFEN_VERSION; }

}  // namespace qf
