# Sources of plugin/path, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  path/path_walk.cpp
)
