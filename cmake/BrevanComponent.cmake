# One static library per folder of src/, and the build, not a comment, keeps
# the layers: a component's headers are visible only to the targets that link
# it. Each component publishes an include folder of its own in the build tree
# that holds a link to its source folder (or, with PUBLIC_HEADERS, to those
# headers alone), so that including a component one does not link fails to
# compile. Links are PRIVATE unless a public header needs them (LINK_PUBLIC).
#
#   brevan_component(<target> FOLDER <folder under src/>
#                    [PUBLIC_HEADERS <header>...] [LINK <target>...] [LINK_PUBLIC <target>...])

# Links `link` to `original`. A component that changes from publishing its
# folder to publishing single headers (or back) finds the other kind of
# entry in the build tree: that entry is removed first, and never written
# through, since a link to a folder leads into the sources.
function(_brevan_include_link original link)
  get_filename_component(parent ${link} DIRECTORY)
  if(IS_SYMLINK ${parent})
    file(REMOVE ${parent})
  endif()
  file(MAKE_DIRECTORY ${parent})
  if(IS_DIRECTORY ${link} AND NOT IS_SYMLINK ${link})
    file(GLOB stale ${link}/*)
    foreach(entry ${stale})
      if(IS_SYMLINK ${entry})
        file(REMOVE ${entry})
      endif()
    endforeach()
    file(REMOVE ${link})
  endif()
  file(CREATE_LINK ${original} ${link} SYMBOLIC)
endfunction()

function(brevan_component name)
  cmake_parse_arguments(ARG "" "FOLDER" "PUBLIC_HEADERS;LINK;LINK_PUBLIC" ${ARGN})
  set(source_folder ${CMAKE_SOURCE_DIR}/src/${ARG_FOLDER})
  set(public ${CMAKE_BINARY_DIR}/include/${name})
  set(own ${CMAKE_BINARY_DIR}/include/${name}-own)
  _brevan_include_link(${source_folder} ${own}/${ARG_FOLDER})
  if(ARG_PUBLIC_HEADERS)
    foreach(header ${ARG_PUBLIC_HEADERS})
      _brevan_include_link(${source_folder}/${header} ${public}/${ARG_FOLDER}/${header})
    endforeach()
  else()
    _brevan_include_link(${source_folder} ${public}/${ARG_FOLDER})
  endif()

  file(GLOB sources CONFIGURE_DEPENDS ${source_folder}/*.cpp)
  if(sources)
    file(GLOB extra CONFIGURE_DEPENDS ${source_folder}/*.h ${source_folder}/*.qrc)
    add_library(${name} STATIC ${sources} ${extra})
    target_include_directories(${name} PUBLIC ${public} PRIVATE ${own})
    target_link_libraries(${name} PUBLIC ${ARG_LINK_PUBLIC} PRIVATE ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${public})
    target_link_libraries(${name} INTERFACE ${ARG_LINK_PUBLIC} ${ARG_LINK})
  endif()
endfunction()
