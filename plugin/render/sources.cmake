# Sources of plugin/render, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  render/accum.cpp
  render/accum_pool.cpp
  render/frame_setup.cpp
  render/host_glue.cpp
  render/render.cpp
  render/render_settings.cpp
  render/ribbon.cpp
  render/ribbon_blocks.cpp
  render/ribbon_raster.cpp
  render/ribbon_sample.cpp
  render/ribbon_bounds.cpp
  render/spine_walker.cpp
  render/walk_skip.cpp
  render/width_profile.cpp
)
