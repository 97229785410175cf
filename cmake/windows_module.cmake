# The Windows module, kelvutil.dll, cross-built with mingw-w64. The interface definition
# and the COM methods are generated from the member tables by the native `comgen`
# (KELV_COMGEN); widl turns the definition into the type library and the C++ header.
if(NOT KELV_COMGEN)
  message(FATAL_ERROR "Set KELV_COMGEN to the native comgen program (build the native tree first)")
endif()
if(NOT KELV_LIBJPEG_DIR)
  message(FATAL_ERROR "Set KELV_LIBJPEG_DIR to the libjpeg-turbo build of scripts/build-libjpeg-win")
endif()

find_program(KELV_WIDL NAMES ${KELV_MINGW_PREFIX}-widl widl REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KELV_WIDL_ARCH -m64)
  set(KELV_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(KELV_WIDL_ARCH -m32)
  set(KELV_STDOLE_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
endif()

set(KELV_GEN ${CMAKE_BINARY_DIR}/gen)
file(MAKE_DIRECTORY ${KELV_GEN})
add_custom_command(
  OUTPUT ${KELV_GEN}/kelvarin.idl ${KELV_GEN}/com_classes.inc
  COMMAND ${KELV_COMGEN} ${KELV_GEN}/kelvarin.idl ${KELV_GEN}/com_classes.inc
  DEPENDS ${KELV_COMGEN}
  COMMENT "Generating the interface definition from the member tables")
# widl writes the type library and the header in separate runs, each to the file it is
# asked for, and the type library gets a fixed creation date (see typelib_fixed_date.py).
set(KELV_WIDL_RUN ${KELV_WIDL} ${KELV_WIDL_ARCH} -I/usr/include/wine/wine/windows -L${KELV_STDOLE_DIR})
add_custom_command(
  OUTPUT ${KELV_GEN}/kelvarin.tlb ${KELV_GEN}/kelvarin.h
  COMMAND ${KELV_WIDL_RUN} -t -o ${KELV_GEN}/kelvarin.tlb ${KELV_GEN}/kelvarin.idl
  COMMAND ${KELV_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/typelib_fixed_date.py ${KELV_GEN}/kelvarin.tlb
  COMMAND ${KELV_WIDL_RUN} -h -o ${KELV_GEN}/kelvarin.h ${KELV_GEN}/kelvarin.idl
  DEPENDS ${KELV_GEN}/kelvarin.idl ${CMAKE_CURRENT_LIST_DIR}/typelib_fixed_date.py
  COMMENT "Building the type library")
add_custom_target(kelv_generated DEPENDS ${KELV_GEN}/kelvarin.tlb ${KELV_GEN}/kelvarin.h ${KELV_GEN}/com_classes.inc)

set(KELV_WIN_LIBS -static -static-libgcc -static-libstdc++ oleaut32 ole32 uuid)

add_library(kelvutil SHARED
  server/win32/com.cpp
  server/win32/module.cpp
  server/win32/kelvutil.def
  server/win32/kelvutil.rc)
add_dependencies(kelvutil kelv_generated)
set_source_files_properties(server/win32/kelvutil.rc PROPERTIES OBJECT_DEPENDS ${KELV_GEN}/kelvarin.tlb)
target_include_directories(kelvutil PRIVATE ${KELV_GEN})
target_link_libraries(kelvutil PRIVATE kelvcore ${KELV_WIN_LIBS})
target_compile_options(kelvutil PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KELV_WARNINGS}>)
set_target_properties(kelvutil PROPERTIES PREFIX "" OUTPUT_NAME kelvutil)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The .def file names the entry points plainly; the linker maps them to their
  # decorated stdcall symbols.
  target_link_options(kelvutil PRIVATE -Wl,--enable-stdcall-fixup)
endif()

add_subdirectory(tools/pagehost)

if(KELV_TESTS)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
