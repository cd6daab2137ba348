# The Debian package: kelvo, its launcher, desktop entry and icon, and the meter simulator,
# as `cmake --install` places them, under /usr. `bash scripts/package.sh` builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_CONTACT "Kelvo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Electricity monitor for a home with solar panels")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvo finds a metering device on a serial line, polls it every 5 seconds, keeps the last\n\
24 hours of power samples of every channel and shows live powers, a power chart and the\n\
daily and monthly energy history. Includes kelvo-meter-sim, a simulated meter on a\n\
pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # kelvo_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the binaries link (Qt 6 Widgets and PrintSupport among them) are found
# by dpkg-shlibdeps; what is loaded or looked up at run time is declared by hand: Qt's
# platform plugins, and the fonts the windows and printouts ask for (SimSun is not packaged on
# Debian; the CJK title face and DejaVu stand in for it).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-zenhei, fonts-dejavu-core")
include(CPack)
