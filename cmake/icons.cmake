# The program's icon, drawn once (packaging/vistrel.svg) and made in every
# size at build time with rsvg-convert and icotool: PNGs for the icon theme
# and VISTREL_ICO, the Windows program's icon resource.

set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg_out ${CMAKE_BINARY_DIR}/packaging)

function(vistrel_require_program variable name package)
  find_program(${variable} ${name})
  if(NOT ${variable})
    message(FATAL_ERROR "Building the package needs ${name} (Debian package ${package}); "
                        "scripts/install-deps.sh installs it.")
  endif()
endfunction()
vistrel_require_program(VISTREL_RSVG_CONVERT rsvg-convert librsvg2-bin)
vistrel_require_program(VISTREL_ICOTOOL icotool icoutils)

set(VISTREL_ICON_SIZES 16 24 32 48 64 128 256)
set(_icon_pngs)
foreach(size IN LISTS VISTREL_ICON_SIZES)
  set(png ${_pkg_out}/icons/hicolor/${size}x${size}/apps/vistrel.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_pkg_out}/icons/hicolor/${size}x${size}/apps
    COMMAND ${VISTREL_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${_pkg_src}/vistrel.svg
    DEPENDS ${_pkg_src}/vistrel.svg
    VERBATIM)
  list(APPEND _icon_pngs ${png})
endforeach()
# The .ico holds the sizes Windows asks for in lists, captions and the task bar.
set(VISTREL_ICO ${_pkg_out}/vistrel.ico)
add_custom_command(
  OUTPUT ${VISTREL_ICO}
  COMMAND ${VISTREL_ICOTOOL} --create --output ${VISTREL_ICO}
          ${_pkg_out}/icons/hicolor/16x16/apps/vistrel.png ${_pkg_out}/icons/hicolor/24x24/apps/vistrel.png
          ${_pkg_out}/icons/hicolor/32x32/apps/vistrel.png ${_pkg_out}/icons/hicolor/48x48/apps/vistrel.png
          ${_pkg_out}/icons/hicolor/256x256/apps/vistrel.png
  DEPENDS ${_icon_pngs}
  VERBATIM)
add_custom_target(vistrel_icons ALL DEPENDS ${_icon_pngs} ${VISTREL_ICO})

