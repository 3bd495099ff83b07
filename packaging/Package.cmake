# The Debian package, made by `cpack -G DEB` from what `cmake --install` puts in place.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <maintainers@users.noreply.c-seed-b665527e.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workbench for testing network peers over TCP and UDP")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmora opens TCP servers, TCP clients, UDP servers, UDP clients and
multicast group members side by side on IPv4. Each gets a data window that
shows every byte that arrives (as text or as hex), sends text or hex bytes
any number of times, and shows byte counters and link states; every
connection a TCP server accepts gets a data window of its own.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://velmora.io/)
# Depends comes from the libraries the program links, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every caption is simplified Chinese: without a CJK font it shows as empty boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
