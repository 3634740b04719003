# Windows tree settings: output layout, Wine as the test emulator, and orvanta_idl() for
# compiling an IDL file into a header, an _i.c file and a type library with widl.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/winerun)
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

add_compile_definitions(UNICODE _UNICODE NOMINMAX)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wno-unknown-pragmas>)

set(ORVANTA_WINE_IDL /usr/include/wine/wine/windows)
set(ORVANTA_WINE_TLB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# orvanta_idl(<target-prefix> <file.idl>) -> ${prefix}_HEADER_DIR, ${prefix}_IID_SOURCE, ${prefix}_TLB
function(orvanta_idl prefix idl)
  get_filename_component(stem ${idl} NAME_WE)
  get_filename_component(abs ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/idl)
  file(MAKE_DIRECTORY ${out})
  add_custom_command(
    OUTPUT ${out}/${stem}.h ${out}/${stem}_i.c ${out}/${stem}.tlb
    COMMAND ${ORVANTA_WIDL} -I${ORVANTA_WINE_IDL} -L${ORVANTA_WINE_TLB} -I${CMAKE_SOURCE_DIR}/resources
            -h -H ${out}/${stem}.h -u -U ${out}/${stem}_i.c -t -T ${out}/${stem}.tlb ${abs}
    DEPENDS ${abs}
    COMMENT "widl ${stem}.idl"
    VERBATIM)
  set(${prefix}_HEADER_DIR ${out} PARENT_SCOPE)
  set(${prefix}_IID_SOURCE ${out}/${stem}_i.c PARENT_SCOPE)
  set(${prefix}_TLB ${out}/${stem}.tlb PARENT_SCOPE)
  add_custom_target(${prefix}_idl DEPENDS ${out}/${stem}.h ${out}/${stem}_i.c ${out}/${stem}.tlb)
endfunction()
