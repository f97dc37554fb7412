# VST3 bundle layout, moduleinfo.json and the SDK validator's checks for a
# plug-in module target.
#
#   korvel_vst3_bundle(<module target> NAME <bundle name>
#                      [COMPANY <maker> PRODUCT <product> DESCRIPTION <text> COPYRIGHT <text>]
#                      [ICON <knob filmstrip.png>])
#
# Linux:   <build>/<NAME>.vst3/Contents/x86_64-linux/<NAME>.so
# Windows: <build>/<NAME>.vst3/Contents/x86_64-win/<NAME>.vst3
# Both get Contents/Resources/moduleinfo.json from the SDK's moduleinfotool
# (run under Wine for Windows, in a prefix of its own so that build steps never
# share a wineserver with a test run).
# On Windows the module also gets a version resource (COMPANY, PRODUCT,
# DESCRIPTION, COPYRIGHT and the project's version), and with ICON the bundle
# folder gets PlugIn.ico and desktop.ini, so that Explorer shows the folder
# with the icon once an installer has marked the folder as a system folder.

set(KORVEL_WINE_TOOL "${CMAKE_CURRENT_LIST_DIR}/wine-tool.sh")

set(KORVEL_ICON_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/make_icon.py")
set(KORVEL_VERSION_RC "${CMAKE_CURRENT_LIST_DIR}/KorvelVersionInfo.rc.in")

function(korvel_vst3_bundle target)
  cmake_parse_arguments(B "" "NAME;COMPANY;PRODUCT;DESCRIPTION;COPYRIGHT;ICON" "" ${ARGN})
  set(bundle "${CMAKE_BINARY_DIR}/${B_NAME}.vst3")
  if(WIN32)
    set(arch_dir x86_64-win)
    set(suffix .vst3)
    set(tool_bundle "Z:${bundle}")
    set(run_tool "${KORVEL_WINE_TOOL}")
  else()
    set(arch_dir x86_64-linux)
    set(suffix .so)
    set(tool_bundle "${bundle}")
    set(run_tool "")
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME "${B_NAME}"
    SUFFIX "${suffix}"
    LIBRARY_OUTPUT_DIRECTORY "${bundle}/Contents/${arch_dir}")
  set_property(TARGET ${target} PROPERTY KORVEL_BUNDLE_PATH "${bundle}")

  # A module built with AddressSanitizer loads into the SDK's (unsanitized)
  # tools only when the sanitizer runtime is loaded first.
  set(tool_env "")
  if(KORVEL_SANITIZE AND NOT WIN32)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    # The validator's own test suite leaks a few bytes; leaks of the module still count.
    file(WRITE "${CMAKE_BINARY_DIR}/validator-leaks.supp" "leak:sidechainarrangement.cpp\n")
    set(tool_env "LD_PRELOAD=${asan_runtime}" "LSAN_OPTIONS=suppressions=${CMAKE_BINARY_DIR}/validator-leaks.supp")
  endif()

  add_dependencies(${target} moduleinfotool)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${bundle}/Contents/Resources"
    COMMAND ${CMAKE_COMMAND} -E env ${tool_env} ${run_tool} $<TARGET_FILE:moduleinfotool> -create -version ${PROJECT_VERSION}
            -path "${tool_bundle}" -output "${tool_bundle}/Contents/Resources/moduleinfo.json"
    VERBATIM)

  if(KORVEL_BUILD_TESTS)
    add_test(NAME ${B_NAME}_validator COMMAND validator "${tool_bundle}")
    add_test(NAME ${B_NAME}_validator_extensive COMMAND validator -e "${tool_bundle}")
    if(tool_env)
      set_tests_properties(${B_NAME}_validator ${B_NAME}_validator_extensive PROPERTIES ENVIRONMENT "${tool_env}")
    endif()
  endif()

  if(WIN32)
    korvel_windows_bundle_extras(${target} "${bundle}")
  endif()

  if(NOT WIN32)
    install(DIRECTORY "${bundle}" DESTINATION "$ENV{HOME}/.vst3" USE_SOURCE_PERMISSIONS)
  endif()
endfunction()

# The version resource and the folder icon of a Windows bundle; the B_
# variables are korvel_vst3_bundle's arguments.
macro(korvel_windows_bundle_extras target bundle)
  if(B_COMPANY)
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
    configure_file("${KORVEL_VERSION_RC}" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
  endif()
  if(B_ICON)
    set(icon "${CMAKE_CURRENT_BINARY_DIR}/${target}_icon/PlugIn.ico")
    add_custom_command(OUTPUT "${icon}"
      COMMAND /usr/bin/python3 "${KORVEL_ICON_SCRIPT}" "${B_ICON}" "${icon}"
      DEPENDS "${KORVEL_ICON_SCRIPT}" "${B_ICON}"
      COMMENT "Drawing the bundle's folder icon"
      VERBATIM)
    add_custom_target(${target}_folder_icon DEPENDS "${icon}")
    add_dependencies(${target} ${target}_folder_icon)
    # Explorer reads desktop.ini as a Windows text file.
    file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/${target}_icon/desktop.ini" "[.ShellClassInfo]\r\nIconResource=PlugIn.ico,0\r\n")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy "${icon}" "${CMAKE_CURRENT_BINARY_DIR}/${target}_icon/desktop.ini" "${bundle}/"
      VERBATIM)
  endif()
endmacro()
