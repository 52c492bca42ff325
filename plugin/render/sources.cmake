# Sources of plugin/render, relative to plugin/.
list(APPEND LWD_PLUGIN_SOURCES
  render/accum.cpp
  render/accum_pool.cpp
  render/frame_setup.cpp
  render/render.cpp
  render/render_settings.cpp
  render/ribbon.cpp
  render/ribbon_raster.cpp
  render/ribbon_sample.cpp
  render/ribbon_bounds.cpp
  render/width_profile.cpp
)
