# Sources of plugin/curve, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  curve/curve_callbacks.cpp
  curve/graph_editor.cpp
)
