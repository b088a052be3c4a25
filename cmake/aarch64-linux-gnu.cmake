# Cross build for 64-bit ARM (Raspberry Pi OS bookworm, Debian 12 arm64) on an
# amd64 Debian 12 with Debian's multiarch: crossbuild-essential-arm64 and the
# libraries' :arm64 development packages in /usr/lib/aarch64-linux-gnu.
# Qt's code generators (moc, rcc, uic) are the build machine's own, from
# qt6-base-dev-tools and the amd64 qt6-base-dev. tools/build-arm64.sh sets
# up such a machine in a root of its own and builds there.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Only the arm64 .pc files: the amd64 ones would name the wrong libraries.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(QT_HOST_PATH "/usr" CACHE PATH "Prefix of the build machine's Qt tools")
set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/x86_64-linux-gnu/cmake" CACHE PATH
  "CMake packages of the build machine's Qt tools")

set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64 CACHE STRING "Architecture of the Debian packages")
