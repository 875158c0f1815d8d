# The layers' include directories. Every source includes our headers by their path from the
# repository root ("audio/audiosystem.h"), so the root itself cannot be an include directory
# of a layer: that would let any layer include any header. Instead each layer gets a view:
# a folder in the build tree holding symbolic links to exactly the source folders and
# headers that layer offers, under their usual paths. A target sees the views of the layers
# it links, and nothing else; including anything more fails with "No such file".

# zuna_include_view(<view> <path>...): makes ${PROJECT_BINARY_DIR}/include/<view>/ hold a
# link to each <path> (relative to the source root; a folder gives everything in it,
# including files added later) and sets <view>_include_dir to that folder.
function(zuna_include_view view)
    set(dir ${PROJECT_BINARY_DIR}/include/${view})
    file(REMOVE_RECURSE ${dir})
    foreach(path IN LISTS ARGN)
        get_filename_component(parent ${dir}/${path} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${dir}/${path} SYMBOLIC)
    endforeach()
    set(${view}_include_dir ${dir} PARENT_SCOPE)
endfunction()

# zuna_headers_in(<var> <folder>): the headers directly in <folder> (relative to the source
# root), globbed again at each build so that a header added there joins its view.
function(zuna_headers_in var folder)
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
         ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    set(${var} ${headers} PARENT_SCOPE)
endfunction()
