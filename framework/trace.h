// The developer trace, shared with the viewer control.
#pragma once

#include "components/common/trace.h"
