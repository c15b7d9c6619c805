# The Debian package: `make package` (cpack -G DEB in the build folder) packs
# what the install rules of cmake/Install.cmake put under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kest32)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kest32 developers")
set(CPACK_PACKAGE_CONTACT "Kest32 developers <kest32@users.noreply.kest32.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "viewer for logs of Japanese PC-communication forums")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # kest32_1.50_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KEST_PROJECT_URL})
# The shared libraries' packages come from dpkg-shlibdeps. What it cannot see:
# the SVG plugins that draw the icons, and a Japanese font for the list and
# the text (the program looks for IPA, Noto CJK, VL and Takao Gothic).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(KEST_BUILD_UI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6svg6, fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic | fonts-takao-gothic")
  # Qt's standard dialogs (open, font, print) in Japanese.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

# The long description, below the summary line; CPack indents its lines for
# the control file and writes the empty line between the paragraphs as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Kest32 reads the log files that members of Japanese PC-communication
services (bulletin boards and forums) captured while connected: one
Shift-JIS text file of many remarks. It scans a log once and shows the
title list, in remark order or threaded with box-drawing characters, above
the text of the selected remark; it searches text and posters, keeps
bookmarks, prints, and remembers its settings in Kest.INI. A batch mode
(kest32 --list, --show, --grep) reads logs from the shell.

パソコン通信の会議室で取り込んだログ（Shift-JIS のテキスト）を読むための
ビューアです。発言のタイトル一覧を発言順、または罫線でスレッドを描いた
内容順で表示し、選んだ発言の本文をその下に表示します。本文と発言者の検索、
しおり、印刷ができ、設定は Kest.INI に保存します。コマンドラインからも
一覧の表示や検索ができます（kest32 --list、--show、--grep）。")

include(CPack)
