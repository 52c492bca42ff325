# Sources of plugin/curve, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  curve/curve_model.cpp
  curve/curve_callbacks.cpp
  curve/graph_draw.cpp
  curve/graph_click.cpp
)
