# The fixture of test_install's cases under ctest: installs the build into DIR/prefix and makes
# its Debian package in DIR/packages once, writing down each command's exit code and output
# (install.code/.log, package.code/.log) for the cases to check.
#   cmake -DBUILD=<build dir> -DDIR=<folder> -DCPACK=<cpack> -P PrepareInstall.cmake
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}/prefix" "${DIR}/packages")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${DIR}/prefix"
                RESULT_VARIABLE code OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(WRITE "${DIR}/install.code" "${code}\n")
file(WRITE "${DIR}/install.log" "${output}")
execute_process(COMMAND "${CPACK}" --config "${BUILD}/CPackConfig.cmake" -G DEB -B "${DIR}/packages"
                RESULT_VARIABLE code OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(WRITE "${DIR}/package.code" "${code}\n")
file(WRITE "${DIR}/package.log" "${output}")
