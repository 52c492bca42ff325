# Sources of plugin/params, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  params/params_setup.cpp
)
