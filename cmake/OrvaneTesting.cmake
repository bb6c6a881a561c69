# orvane_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [GUI] [WEB] [TIMEOUT <s>]
#                 [WMS <wm>... SCREEN <WxH>] [ENV <VAR=value>...])
#
# GUI tests run on the offscreen platform; WEB tests need a real X server
# (the suite runs under xvfb-run) and are labelled "web" so the sanitizer
# build can leave them out. WMS runs the test once per window manager
# ("openbox", "metacity", "openbox+compositor", ...), each on a virtual
# screen of its own of the SCREEN size (scripts/with-wm), as <name>_<wm>;
# these are labelled "wm".
function(orvane_add_test)
    cmake_parse_arguments(T "GUI;WEB" "NAME;TIMEOUT;SCREEN" "SOURCES;LIBS;WMS;ENV" ${ARGN})
    if(T_WEB AND NOT ORVANE_WEB)
        return()
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(names)
    if(T_WMS)
        if(NOT T_SCREEN)
            set(T_SCREEN 1920x1080)
        endif()
        foreach(wm IN LISTS T_WMS)
            string(REPLACE "+compositor" "" wm_name "${wm}")
            set(wm_flags --wm ${wm_name})
            if(NOT wm_name STREQUAL wm)
                list(APPEND wm_flags --compositor)
            endif()
            string(REPLACE "+" "_" suffix "${wm}")
            add_test(NAME ${T_NAME}_${suffix}
                     COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-wm --screen ${T_SCREEN} ${wm_flags}
                             -- $<TARGET_FILE:${T_NAME}>)
            set_tests_properties(${T_NAME}_${suffix} PROPERTIES LABELS "wm")
            list(APPEND names ${T_NAME}_${suffix})
        endforeach()
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
        set(names ${T_NAME})
    endif()
    set(env "ORVANE_BIN_DIR=${ORVANE_BIN_DIR}" "ORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR}" ${T_ENV})
    if(T_WEB)
        set_property(TEST ${names} APPEND PROPERTY LABELS web)
        list(APPEND env "QTWEBENGINE_DISABLE_SANDBOX=1")
    elseif(T_GUI)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${names} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
endfunction()
