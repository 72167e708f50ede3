# What `cmake --install` puts where (GNUInstallDirs), and what a Linux desktop
# needs to show the program: a desktop entry, icons in the hicolor theme,
# AppStream metainfo, a man page, and the Debian documentation files.
include(GNUInstallDirs)

set(BC_DATA_SUBDIR ${CMAKE_INSTALL_DATADIR}/brindlecast)
set(BC_LINUX_DIR ${PROJECT_SOURCE_DIR}/res/linux)
set(BC_GENERATED_DIR ${PROJECT_BINARY_DIR}/res)
set(BC_ICON_SIZES 16 22 24 32 48 64 128 256)
file(MAKE_DIRECTORY ${BC_GENERATED_DIR})

# The program looks for its data relative to its own folder first, so a package
# unpacked under another root (or installed under another prefix) still finds it.
file(RELATIVE_PATH bc_data_from_bindir ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/brindlecast)
# So are the desktop program and the audio module, both in the package's
# private folder (not under lib/, which would make CPack add ldconfig calls),
# and the desktop program finds the command-line program it stands for.
set(BC_DESKTOP_SUBDIR ${CMAKE_INSTALL_LIBEXECDIR}/brindlecast)
file(RELATIVE_PATH bc_desktop_from_bindir ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${BC_DESKTOP_SUBDIR})
file(RELATIVE_PATH bc_bindir_from_desktop ${CMAKE_INSTALL_PREFIX}/${BC_DESKTOP_SUBDIR}
     ${CMAKE_INSTALL_FULL_BINDIR})
target_compile_definitions(bc_config
  PUBLIC BC_APP_ID="${BC_APP_ID}"
  PRIVATE BC_INSTALL_DATADIR="${CMAKE_INSTALL_FULL_DATADIR}/brindlecast"
          BC_DATADIR_FROM_BINDIR="${bc_data_from_bindir}"
          BC_DESKTOPDIR_FROM_BINDIR="${bc_desktop_from_bindir}"
          BC_BINDIR_FROM_DESKTOPDIR="${bc_bindir_from_desktop}")
target_compile_definitions(brindlecast PRIVATE
  BC_PRIVATE_DIR_FROM_BINDIR="${bc_desktop_from_bindir}")
target_compile_definitions(bc_audio_loader PRIVATE
  BC_AUDIO_MODULE="$<TARGET_FILE_NAME:brindlecast-audio>"
  BC_AUDIO_MODULE_DIR_FROM_BINDIR="${bc_desktop_from_bindir}")

# bc_installed builds what is installed and no more (`make package` builds it,
# not the tests): every built file that is installed comes through
# bc_install_target or is an output of bc_desktop_files, below.
add_custom_target(bc_installed)
function(bc_install_target target kind destination)
  install(TARGETS ${target} ${kind} DESTINATION ${destination})
  add_dependencies(bc_installed ${target})
endfunction()
bc_install_target(brindlecast RUNTIME ${CMAKE_INSTALL_BINDIR})
bc_install_target(brindlecast-desktop RUNTIME ${BC_DESKTOP_SUBDIR})
bc_install_target(brindlecast-check RUNTIME ${BC_DESKTOP_SUBDIR})
bc_install_target(brindlecast-commands LIBRARY ${BC_DESKTOP_SUBDIR})
bc_install_target(brindlecast-audio LIBRARY ${BC_DESKTOP_SUBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/help/ DESTINATION ${BC_DATA_SUBDIR}/help)
if(EXISTS ${PROJECT_SOURCE_DIR}/res/DayTips.dat)
  install(FILES ${PROJECT_SOURCE_DIR}/res/DayTips.dat DESTINATION ${BC_DATA_SUBDIR})
endif()

# Texts that carry the id, the version or the release date.
foreach(pair "brindlecast.desktop.in;${BC_APP_ID}.desktop"
             "metainfo.xml.in;${BC_APP_ID}.metainfo.xml"
             "brindlecast.1.in;brindlecast.1"
             "changelog.in;changelog"
             "copyright.in;copyright")
  list(GET pair 0 in)
  list(GET pair 1 out)
  configure_file(${BC_LINUX_DIR}/${in} ${BC_GENERATED_DIR}/${out} @ONLY)
endforeach()
install(FILES ${BC_GENERATED_DIR}/${BC_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${BC_GENERATED_DIR}/${BC_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${BC_GENERATED_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages and changelogs are installed compressed, as Debian wants them
# (-n: no name or time stamp inside, so the package is reproducible).
set(bc_compressed)
foreach(pair "brindlecast.1;${CMAKE_INSTALL_MANDIR}/man1" "changelog;${CMAKE_INSTALL_DOCDIR}")
  list(GET pair 0 name)
  list(GET pair 1 destination)
  add_custom_command(OUTPUT ${BC_GENERATED_DIR}/${name}.gz
    COMMAND sh -c "gzip -9n -c '${BC_GENERATED_DIR}/${name}' > '${BC_GENERATED_DIR}/${name}.gz'"
    DEPENDS ${BC_GENERATED_DIR}/${name} VERBATIM)
  list(APPEND bc_compressed ${BC_GENERATED_DIR}/${name}.gz)
  install(FILES ${BC_GENERATED_DIR}/${name}.gz DESTINATION ${destination})
endforeach()

# The icon: the program's logo on a square page, as the scalable icon and
# rendered at every fixed size of the hicolor theme.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Svg)
file(READ ${PROJECT_SOURCE_DIR}/res/icons/logo.svg bc_logo)
string(REGEX REPLACE "width=\"74\" height=\"67\" viewBox=\"0 0 74 67\""
       "width=\"74\" height=\"74\" viewBox=\"0 -4 74 74\"" bc_square_logo "${bc_logo}")
if(bc_square_logo STREQUAL bc_logo)
  message(FATAL_ERROR "res/icons/logo.svg changed its size: adjust the square page in ${CMAKE_CURRENT_LIST_FILE}")
endif()
set(bc_scalable_icon ${BC_GENERATED_DIR}/icons/scalable/${BC_APP_ID}.svg)
file(CONFIGURE OUTPUT ${bc_scalable_icon} CONTENT "${bc_square_logo}")
# Beside the programs in the build tree too, where the desktop notifications of
# a program run uninstalled find it (DataFilePath looks there first).
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/src/app/icons/${BC_APP_ID}.svg CONTENT "${bc_square_logo}")
install(FILES ${bc_scalable_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

add_executable(bc_render_icon ${CMAKE_CURRENT_LIST_DIR}/render_icon.cpp)
target_link_libraries(bc_render_icon PRIVATE Qt6::Gui Qt6::Svg)
bc_target_defaults(bc_render_icon)
set(bc_icon_pngs)
foreach(size ${BC_ICON_SIZES})
  set(png ${BC_GENERATED_DIR}/icons/${size}x${size}/${BC_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BC_GENERATED_DIR}/icons/${size}x${size}
    # A sanitizer build must not fail on what Qt keeps until exit.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:bc_render_icon> ${bc_scalable_icon} ${size} ${png}
    DEPENDS bc_render_icon ${bc_scalable_icon} VERBATIM)
  list(APPEND bc_icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

add_custom_target(bc_desktop_files ALL DEPENDS ${bc_icon_pngs} ${bc_compressed})
add_dependencies(bc_installed bc_desktop_files)
