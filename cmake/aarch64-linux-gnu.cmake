# Cross-building for 64-bit ARM (a Raspberry Pi 4 or 5 running a 64-bit Debian) with Debian's
# cross toolchain (crossbuild-essential-arm64) and the arm64 libraries installed beside the
# machine's own through multiarch (libsqlite3-dev:arm64, libmosquitto-dev:arm64), so the
# libraries are found under /usr/lib/aarch64-linux-gnu and the headers in /usr/include.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Programs (compilers, pkg-config) are the build machine's; libraries and headers must be the
# target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the arm64 .pc files only; Debian 12 has no aarch64-linux-gnu-pkg-config.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The programs run under qemu-user on the multiarch arm64 libraries: `qemu-aarch64 PROGRAM`.
# Not with -L /usr/aarch64-linux-gnu: its loader is the cross toolchain's C library, which may be
# another build than libc6:arm64's libc.so.6, and a threaded program then hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
