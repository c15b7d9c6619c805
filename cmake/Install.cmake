# What `cmake --install` puts where (GNU layout: bin/, share/...), and the
# Debian package built from the same rules (cmake/Packaging.cmake).
#
# An installed kest32 lives in PREFIX/bin: it finds its help file as
# PREFIX/share/kest32/KEST.HLP and keeps Kest.INI under $XDG_CONFIG_HOME.
# Qt's own Japanese texts come from the system's Qt translations, which the
# program loads from Qt's folder: it carries none of its own to install.
include(GNUInstallDirs)

# The AppStream component: its ID names the metainfo file. The two addresses
# are where the project's home page and the README's screenshot are
# published; set them when configuring a release build.
set(KEST_APPSTREAM_ID "io.github.kest32.Kest32")
set(KEST_PROJECT_URL "https://kest32.example.org/" CACHE STRING
    "Home page named in the AppStream metainfo")
set(KEST_SCREENSHOT_URL "${KEST_PROJECT_URL}docs/screenshot.png" CACHE STRING
    "Address of docs/screenshot.png as published, for the AppStream metainfo")
set(KEST_RELEASE_DATE "2026-12-08")

set(KEST_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(KEST_DATA_BINARY_DIR ${PROJECT_BINARY_DIR}/data)
set(KEST_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kest32)

install(TARGETS kest32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KEST_BUILD_UI)
  # The window module, where kest32 looks for it from its own folder.
  install(TARGETS kest32window LIBRARY DESTINATION ${KEST_WINDOW_MODULE_INSTALL_DIR})
endif()

# The help file installs from help/CMakeLists.txt, beside its copy in the
# build folder.

# Man pages, English and Japanese, compressed as Debian keeps them.
find_program(KEST_GZIP gzip REQUIRED)
set(KEST_MAN_PAGES)
foreach(page kest32.1 ja/kest32.1)
  set(out ${KEST_DATA_BINARY_DIR}/man/${page}.gz)
  get_filename_component(outdir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${CMAKE_COMMAND} -E copy ${KEST_DATA_DIR}/man/${page} ${outdir}
    COMMAND ${KEST_GZIP} -9nf ${KEST_DATA_BINARY_DIR}/man/${page}
    DEPENDS ${KEST_DATA_DIR}/man/${page}
    COMMENT "Compressing man page ${page}"
    VERBATIM)
  list(APPEND KEST_MAN_PAGES ${out})
endforeach()
add_custom_target(kest32_man ALL DEPENDS ${KEST_MAN_PAGES})
install(FILES ${KEST_DATA_BINARY_DIR}/man/kest32.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KEST_DATA_BINARY_DIR}/man/ja/kest32.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)

install(FILES ${KEST_DATA_DIR}/bash-completion/kest32
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${KEST_DOC_DIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/README.ja.md)
  install(FILES ${PROJECT_SOURCE_DIR}/README.ja.md DESTINATION ${KEST_DOC_DIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/samples/sample.log DESTINATION ${KEST_DOC_DIR}/examples)

# The desktop side: menu entry, icon, AppStream data. Only a build with the
# window has them.
if(KEST_BUILD_UI)
  configure_file(${KEST_DATA_DIR}/kest32.metainfo.xml.in
                 ${KEST_DATA_BINARY_DIR}/${KEST_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${KEST_DATA_DIR}/kest32.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KEST_DATA_BINARY_DIR}/${KEST_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/kest32.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
