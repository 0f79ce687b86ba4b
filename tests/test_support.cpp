#include "test_support.h"

#include <gtest/gtest.h>

#include "document.h"
#include "shell/plugin_state.h"

void BindStandInHost(host::Document& document) {
  ASSERT_EQ(BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE), 1);
  g_plugin.document = host::Handle(document);
}
