# Sources of plugin/render, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  render/render.cpp
)
