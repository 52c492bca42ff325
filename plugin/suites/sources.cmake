# Sources of plugin/suites, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  suites/suite_handler.cpp
  suites/aefx_helpers.cpp
)
