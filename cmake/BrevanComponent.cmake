# One static library per folder of src/, and the build, not a comment, keeps
# the layers:
# - a component's headers are visible only to the targets that link it. Each
#   component publishes an include folder of its own in the build tree that
#   holds a link to its source folder (or, with PUBLIC_HEADERS, to those
#   headers alone), so that including a component one does not link fails to
#   compile. Links are PRIVATE unless a public header needs them (LINK_PUBLIC).
# - every object of a component is linked, whole, into a program of its own
#   (<target>_link_check) that links only what the component names, so that a
#   symbol taken from a layer it may not use fails the link, even in a file
#   that nothing calls.
#
#   brevan_component(<target> FOLDER <folder under src/>
#                    [PUBLIC_HEADERS <header>...] [LINK <target>...] [LINK_PUBLIC <target>...])

# Makes `link` a symbolic link to `original` (a header or a folder), for an
# include folder in the build tree. A component that changes from publishing
# its folder to publishing single headers (or back) finds the other kind of
# entry in the build tree: that entry is removed first, and never written
# through, since a link to a folder leads into the sources.
function(brevan_include_link original link)
  get_filename_component(parent ${link} DIRECTORY)
  if(IS_SYMLINK ${parent})
    file(REMOVE ${parent})
  endif()
  file(MAKE_DIRECTORY ${parent})
  if(IS_DIRECTORY ${link} AND NOT IS_SYMLINK ${link})
    # A folder of header links: removing it removes only the links.
    file(REMOVE_RECURSE ${link})
  endif()
  file(CREATE_LINK ${original} ${link} SYMBOLIC)
endfunction()

function(brevan_component name)
  cmake_parse_arguments(ARG "" "FOLDER" "PUBLIC_HEADERS;LINK;LINK_PUBLIC" ${ARGN})
  set(source_folder ${CMAKE_SOURCE_DIR}/src/${ARG_FOLDER})
  set(public ${CMAKE_BINARY_DIR}/include/${name})
  set(own ${CMAKE_BINARY_DIR}/include/${name}-own)
  brevan_include_link(${source_folder} ${own}/${ARG_FOLDER})
  if(ARG_PUBLIC_HEADERS)
    foreach(header ${ARG_PUBLIC_HEADERS})
      brevan_include_link(${source_folder}/${header} ${public}/${ARG_FOLDER}/${header})
    endforeach()
  else()
    brevan_include_link(${source_folder} ${public}/${ARG_FOLDER})
  endif()

  file(GLOB sources CONFIGURE_DEPENDS ${source_folder}/*.cpp)
  file(GLOB extra CONFIGURE_DEPENDS ${source_folder}/*.h ${source_folder}/*.qrc)
  add_library(${name} STATIC ${sources} ${extra})
  target_include_directories(${name} PUBLIC ${public} PRIVATE ${own})
  target_link_libraries(${name} PUBLIC ${ARG_LINK_PUBLIC} PRIVATE ${ARG_LINK})

  add_executable(${name}_link_check ${CMAKE_SOURCE_DIR}/cmake/link_check.cpp)
  target_link_libraries(${name}_link_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
  set_target_properties(${name}_link_check PROPERTIES AUTOMOC OFF RUNTIME_OUTPUT_DIRECTORY
    ${CMAKE_BINARY_DIR}/link-check)
endfunction()
