# kelvo_layer(TARGET sources... [LINKS libraries...]): the static library of one layer, built
# from the folder whose CMakeLists.txt calls it. LINKS names the layers below that it may
# include (tests/layers/check_layers.py holds the same map) and the libraries it uses.
#
# The source root is on no layer's include path. Each layer puts on its public include path
# a root of its own in the build tree, in which only its folder's headers appear, each a link
# to the source file: a layer sees its own headers and those of the layers it links, so an
# include of a layer above or beside it is a missing file and the build stops there. Headers
# are linked one by one, not the folder, so that core/device does not show core/device/posix.
function(kelvo_layer name)
    cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
    file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${CMAKE_BINARY_DIR}/layers/${name})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root}/${folder})
    # A header added later is linked at the next build, without a configure by hand.
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(header IN LISTS headers)
        get_filename_component(leaf ${header} NAME)
        file(CREATE_LINK ${header} ${root}/${folder}/${leaf} SYMBOLIC)
    endforeach()

    add_library(${name} STATIC ${ARG_UNPARSED_ARGUMENTS})
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    kelvo_warnings(${name})
endfunction()
