# Installed layout: one program folder, <prefix>/lib/trevalon, holding the executables, data/conv,
# help.html and sound.wav together, with links to the executables in <prefix>/bin. The program finds
# its folder through the real path of its executable, so starting it through a link works.
include(GNUInstallDirs)
set(TREVALON_INSTALL_PROGRAM_DIR lib/trevalon)

set(installed_programs trevalon trevalon-batch)
foreach(program ${installed_programs})
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${TREVALON_INSTALL_PROGRAM_DIR})
        install(CODE "
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
            file(CREATE_LINK \"../${TREVALON_INSTALL_PROGRAM_DIR}/${program}\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)")
    endif()
endforeach()
if(TARGET conv)
    install(TARGETS conv RUNTIME DESTINATION ${TREVALON_INSTALL_PROGRAM_DIR}/data)
endif()
install(FILES ${TREVALON_PROGRAM_DIR}/sound.wav DESTINATION ${TREVALON_INSTALL_PROGRAM_DIR})
if(EXISTS ${CMAKE_SOURCE_DIR}/resources/help.html)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/help.html DESTINATION ${TREVALON_INSTALL_PROGRAM_DIR})
endif()

# Where desktop environments look for menu entries and icons.
install(FILES ${CMAKE_SOURCE_DIR}/resources/trevalon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/trevalon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/trevalon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME trevalon.png)
endforeach()

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME trevalon)
set(CPACK_PACKAGE_VENDOR "Trevalon")
set(CPACK_PACKAGE_CONTACT "Trevalon developers <dev@trevalon.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop batch audio converter")
set(CPACK_PACKAGE_DESCRIPTION
    "Trevalon converts lists of audio and video files to MP3, WMA, OGG, WAV, FLAC, AC3, AAC, AMR or MPG audio, with a chosen bitrate, sample rate, channels and an optional time range.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://trevalon.example/")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ffmpeg, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6multimedia6 (>= 6.4), libopencore-amrnb0, libtag1v5, libc6, libstdc++6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, libqt6svg6")
include(CPack)
