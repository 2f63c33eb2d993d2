// core/: the engine's base. It owns loading the built deliverables through the
// host stand-ins (deliverables.h), setting node attributes and shader
// parameters by name (values.h), the error vocabulary and exit codes
// (errors.h), the limits on work (workLimits.h), and files written whole or
// not at all (output.h); all five are public.
// It may include the host stand-ins' headers (mayaHost.h, mrHost.h,
// declaration.h) and the standard library; no other part of the engine.
#ifndef COOLWARM_TOOL_CORE_H
#define COOLWARM_TOOL_CORE_H

#include "deliverables.h"
#include "errors.h"
#include "output.h"
#include "values.h"
#include "workLimits.h"

#endif
