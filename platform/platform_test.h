// Former name of platform_hooks.h, kept so existing includes still work.
#pragma once

#include "platform_hooks.h"
