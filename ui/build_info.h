#pragma once

// The maker's values of this build, shared with the Windows window: see uicore/build_info.h.
#include "uicore/build_info.h"
