# Sources of plugin/shell, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  shell/effect_main.cpp
  shell/shell_commands.cpp
  shell/strings.cpp
)
