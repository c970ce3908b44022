# The Debian package, made by CPack from the install rules:
#   cmake --build <build> --target package      (or: cd <build> && cpack -G DEB)
# gives video-kelvanor_<version>_<arch>.deb. dpkg-shlibdeps computes the libraries it
# depends on; the parts that are loaded at run time, and so not seen there, are named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME video-kelvanor)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0")
set(CPACK_PACKAGE_VENDOR "The Video Kelvanor 2000 developers")
set(CPACK_PACKAGE_CONTACT "The Video Kelvanor 2000 developers <video-kelvanor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record movies, stamped stills and interval shots from a camera")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Video Kelvanor 2000 shows the live picture of a camera (V4L2) and records\n"
    "from it: AVI movies with sound, still images stamped with the time, the date\n"
    "and a text (BMP or JPEG, printed or copied), and runs of shots taken at an\n"
    "interval. A built-in test-pattern camera stands in where none is attached.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KV_HOMEPAGE}")
# Qt's multimedia (the movie viewer) plays through GStreamer's plugins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav")
# Qt's Wayland platform for Wayland desktops (X11's is in libqt6gui6); a sound server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pipewire-pulse | pulseaudio")
include(CPack)
