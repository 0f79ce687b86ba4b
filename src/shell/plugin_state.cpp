#include "shell/plugin_state.h"

PluginState g_plugin;
