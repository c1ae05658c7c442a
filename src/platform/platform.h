// The platform stand-ins in one place: OLE Automation subset, status exception,
// folder listing and pauses.
#pragma once

#include "platform/directory.h"
#include "platform/memory.h"
#include "platform/oleauto.h"
#include "platform/status_error.h"
