#include "run/host_state.h"

namespace vistrel {

HostStateRecord hostState;

}  // namespace vistrel
