# tabulon_library(<name> SOURCES ... [EXPORT_BASE <BASE> EXPORT_HEADER <file>] [PRIVATE_DIR <dir>]
#                 [BELOW ...] [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [RESOURCES ...])
#
# One shared library of ours. Other deliverables see only <folder>/include (the headers they may
# use) and, since symbols are hidden by default, only what the export macro marks. Everything else
# in the folder is private to the library.
#
# The sources compile once, into <name>_objects: the shared library is made of those objects, and
# the library's own tests link them too, so the tests reach the internal classes without the
# library exporting them. Only a library's own tests may link its objects, and never together
# with a library that loads the shared one (that process would hold two copies of its state).
#
# BELOW names libraries of ours this one is built on. The shared library links them publicly; the
# objects take only their headers and usage, so a test links each library's objects once.
function(tabulon_library name)
  cmake_parse_arguments(L "" "EXPORT_BASE;EXPORT_HEADER;PRIVATE_DIR" "SOURCES;BELOW;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT L_PRIVATE_DIR)
    set(L_PRIVATE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(public_dirs ${CMAKE_CURRENT_SOURCE_DIR}/include ${CMAKE_BINARY_DIR}/generated)

  add_library(${name}_objects OBJECT ${L_SOURCES})
  # The export macro marks a symbol for export while the library itself is compiled.
  target_compile_definitions(${name}_objects PRIVATE ${name}_EXPORTS)
  target_include_directories(${name}_objects PUBLIC ${public_dirs} ${L_PRIVATE_DIR})
  target_link_libraries(${name}_objects PUBLIC ${L_PUBLIC_LIBS} ${L_PRIVATE_LIBS})
  foreach(below IN LISTS L_BELOW)
    # As an interface only: an objects library never carries another's objects.
    target_link_libraries(${name}_objects PUBLIC ${below}_objects)
  endforeach()

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_include_directories(${name} PUBLIC ${public_dirs})
  target_link_libraries(${name} PUBLIC ${L_BELOW} ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})

  if(L_EXPORT_BASE)
    include(GenerateExportHeader)
    generate_export_header(${name}
      BASE_NAME ${L_EXPORT_BASE}
      EXPORT_FILE_NAME ${CMAKE_BINARY_DIR}/generated/tabulon/${L_EXPORT_HEADER})
  endif()
endfunction()
