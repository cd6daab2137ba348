# The Debian packages of this tree, for the architecture it builds for:
#   cmake --build DIR --target debs      makes DIR/debs/*.deb
# kelvo (with the windows) and kelvo-recorder, each with a -dbgsym package of its debug symbols,
# made by packaging/make-debs.sh from what `cmake --install` puts in place: the recorder is the
# install component `recorder`, everything else the desktop package. scripts/package.sh makes
# them for amd64 and arm64.
set(KELVO_PACKAGED_PROGRAMS kelvo-recorder)
if(KELVO_UI)
    list(APPEND KELVO_PACKAGED_PROGRAMS kelvo kelvo-meter-sim)
endif()
add_custom_target(debs
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/debs
    COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/make-debs.sh ${CMAKE_BINARY_DIR}
            ${CMAKE_BINARY_DIR}/debs
    USES_TERMINAL
    COMMENT "Debian packages in ${CMAKE_BINARY_DIR}/debs")
add_dependencies(debs ${KELVO_PACKAGED_PROGRAMS})
